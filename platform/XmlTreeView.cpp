#include "platform/XmlTreeView.h"

#include <atomic>

namespace evtask {
namespace xmltree {

namespace {

// Every kind of node and attribute chain the message base's texts have: a
// root with two attributes, values kept in their elements, a CDATA child, an
// empty element, a list whose entries are messages, and text beside elements.
const char kProbe[] =
    "<m f=\"1\" c=\"2\"><i t=\"3\">45</i><s t=\"6\" s=\"7\"><![CDATA[x<y]]></s><ls t=\"8\"/>"
    "<lo t=\"9\"><m f=\"10\" c=\"11\"><i t=\"12\">-1</i></m>tail<m f=\"13\" c=\"14\"/></lo></m>";

// The view's text at a record word: the same pointer as the accessor's, or
// none where the accessor gives its empty text.
bool sameText(const void* record, int at, const char* accessor) {
  const char* w = raw::word<const char*>(record, at);
  return w != nullptr ? w == accessor : *accessor == 0;
}

// Compares the record words the view reads with what the accessors return,
// for one node and, recursively, everything below it.
bool agrees(pugi::xml_node n, const raw::Layout& l, int& nodes, int& attributes) {
  const pugi::xml_node_struct* r = n.internal_object();
  if ((raw::word<uintptr_t>(r, l.nodeHeader) & raw::kTypeMask) != static_cast<uintptr_t>(n.type()) ||
      !sameText(r, l.nodeName, n.name()) || !sameText(r, l.nodeValue, n.value()) ||
      raw::word<pugi::xml_node_struct*>(r, l.firstChild) != n.first_child().internal_object() ||
      raw::word<pugi::xml_node_struct*>(r, l.nextSibling) != n.next_sibling().internal_object() ||
      raw::word<pugi::xml_attribute_struct*>(r, l.firstAttribute) != n.first_attribute().internal_object()) {
    return false;
  }
  ++nodes;
  for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
    const pugi::xml_attribute_struct* ar = a.internal_object();
    if (!sameText(ar, l.attributeName, a.name()) || !sameText(ar, l.attributeValue, a.value()) ||
        raw::word<pugi::xml_attribute_struct*>(ar, l.nextAttribute) != a.next_attribute().internal_object()) {
      return false;
    }
    ++attributes;
  }
  for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
    if (!agrees(c, l, nodes, attributes)) return false;
  }
  return true;
}

bool probe() {
  pugi::xml_document doc;
  if (!doc.load_buffer(kProbe, sizeof kProbe - 1, kParseOptions, pugi::encoding_utf8)) return false;
  int nodes = 0, attributes = 0;
  if (!agrees(doc, raw::kLayout, nodes, attributes)) return false;
  // The document, 8 elements, the CDATA and the text beside the list's
  // entries; 12 attributes. Other counts would mean the walk went wrong.
  return nodes == 11 && attributes == 12;
}

std::atomic<bool> g_accessorsOnly{false};

}  // namespace

bool viewAgrees(pugi::xml_node root, const raw::Layout& layout) {
  int nodes = 0, attributes = 0;
  return agrees(root, layout, nodes, attributes);
}

bool directViewUsable() {
  static const bool usable = probe();
  return usable && !g_accessorsOnly.load(std::memory_order_relaxed);
}

void setAccessorsOnly(bool accessorsOnly) { g_accessorsOnly.store(accessorsOnly, std::memory_order_relaxed); }

}  // namespace xmltree
}  // namespace evtask
