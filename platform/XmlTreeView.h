// A read-only view of a tree parsed by pugixml, for the XML message base's
// reader.
//
// pugixml's node and attribute accessors are out-of-line calls into its
// static library, and the reader makes about ten of them per field it reads:
// walking a large text that way costs more than parsing it. Node<true> and
// Attribute<true> read pugixml's node records directly instead, which the
// compiler inlines. Those records are pugixml's own, not part of its
// interface, so the direct view is used only after directViewUsable() has
// walked a probe document both ways and found them to agree on every node
// and attribute. Node<false> and Attribute<false> go through the accessors,
// with the same interface, so that one reading code serves both.
//
// Loads go through memcpy at the record's word offsets: they read the
// records' bytes and never alias them through another type.
#ifndef EVTASK_PLATFORM_XMLTREEVIEW_H
#define EVTASK_PLATFORM_XMLTREEVIEW_H

#include <cstdint>
#include <cstring>
#include <pugixml.hpp>

namespace evtask {
namespace xmltree {

// The message base parses with these. parse_embed_pcdata keeps a value in
// its element instead of a child node: half the nodes to build and to walk
// for the leaf fields.
constexpr unsigned kParseOptions =
    pugi::parse_escapes | pugi::parse_ws_pcdata_single | pugi::parse_cdata | pugi::parse_embed_pcdata;

namespace raw {
// Word positions in pugixml's records. A node: header, name, value, parent,
// first child, previous sibling (cyclic), next sibling, first attribute. An
// attribute: header, name, value, previous attribute (cyclic), next
// attribute. The node type is in the header's low four bits.
struct Layout {
  int nodeHeader, nodeName, nodeValue, firstChild, nextSibling, firstAttribute;
  int attributeName, attributeValue, nextAttribute;
};
constexpr Layout kLayout{0, 1, 2, 4, 6, 7, 1, 2, 4};
constexpr uintptr_t kTypeMask = 15;

template <typename T>
inline T word(const void* record, int at) {
  static_assert(sizeof(T) == sizeof(uintptr_t), "one machine word");
  T v;
  std::memcpy(&v, static_cast<const char*>(record) + at * sizeof(uintptr_t), sizeof v);
  return v;
}
inline const char* text(const void* record, int at) {
  const char* s = word<const char*>(record, at);
  return s != nullptr ? s : "";
}
}  // namespace raw

template <bool kDirect>
class Attribute {
 public:
  explicit Attribute(pugi::xml_attribute_struct* a) : a_(a) {}
  explicit operator bool() const { return a_ != nullptr; }
  // The empty name of the null attribute ends a walk (every attribute has one).
  const char* name() const {
    if (kDirect) return a_ != nullptr ? raw::text(a_, raw::kLayout.attributeName) : "";
    return pugi::xml_attribute(a_).name();
  }
  const char* value() const {
    if (kDirect) return a_ != nullptr ? raw::text(a_, raw::kLayout.attributeValue) : "";
    return pugi::xml_attribute(a_).value();
  }
  Attribute next_attribute() const {
    if (kDirect) {
      return Attribute(a_ != nullptr ? raw::word<pugi::xml_attribute_struct*>(a_, raw::kLayout.nextAttribute)
                                     : nullptr);
    }
    return Attribute(pugi::xml_attribute(a_).next_attribute().internal_object());
  }

 private:
  pugi::xml_attribute_struct* a_;
};

template <bool kDirect>
class Node {
 public:
  explicit Node(pugi::xml_node_struct* n) : n_(n) {}
  explicit Node(pugi::xml_node n) : n_(n.internal_object()) {}
  explicit operator bool() const { return n_ != nullptr; }
  bool operator!() const { return n_ == nullptr; }
  const char* name() const {
    if (kDirect) return n_ != nullptr ? raw::text(n_, raw::kLayout.nodeName) : "";
    return pugi::xml_node(n_).name();
  }
  const char* value() const {
    if (kDirect) return n_ != nullptr ? raw::text(n_, raw::kLayout.nodeValue) : "";
    return pugi::xml_node(n_).value();
  }
  pugi::xml_node_type type() const {
    if (kDirect) {
      return n_ != nullptr
                 ? static_cast<pugi::xml_node_type>(raw::word<uintptr_t>(n_, raw::kLayout.nodeHeader) & raw::kTypeMask)
                 : pugi::node_null;
    }
    return pugi::xml_node(n_).type();
  }
  Node first_child() const { return link(raw::kLayout.firstChild, &pugi::xml_node::first_child); }
  Node next_sibling() const { return link(raw::kLayout.nextSibling, &pugi::xml_node::next_sibling); }
  Attribute<kDirect> first_attribute() const {
    if (kDirect) {
      return Attribute<kDirect>(n_ != nullptr ? raw::word<pugi::xml_attribute_struct*>(n_, raw::kLayout.firstAttribute)
                                              : nullptr);
    }
    return Attribute<kDirect>(pugi::xml_node(n_).first_attribute().internal_object());
  }

 private:
  Node link(int at, pugi::xml_node (pugi::xml_node::*accessor)() const) const {
    if (kDirect) return Node(n_ != nullptr ? raw::word<pugi::xml_node_struct*>(n_, at) : nullptr);
    return Node((pugi::xml_node(n_).*accessor)());
  }

  pugi::xml_node_struct* n_;
};

// True when pugixml's records have the layout the direct view reads, as
// found once per process on a probe document (and not overridden below).
bool directViewUsable();

// True when the record words at `layout` hold what the accessors return, for
// `root` and everything below it: the probe's check, with the view's layout.
// Pointers are compared, not followed.
bool viewAgrees(pugi::xml_node root, const raw::Layout& layout = raw::kLayout);

// Tests: make the reader go through the accessors even where the direct
// view is usable (true), or let the probe decide again (false).
void setAccessorsOnly(bool accessorsOnly);

}  // namespace xmltree
}  // namespace evtask

#endif  // EVTASK_PLATFORM_XMLTREEVIEW_H
