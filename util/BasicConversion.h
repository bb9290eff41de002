// Text forms of the value types that task options carry. Every option value
// travels and is stored as text; these functions fix the one text form of each
// type so that a value written by one component reads back in another.
//
// Widths are those of the 32-bit platform: short is 16 bits; int, long and
// unsigned long are 32 bits; long long is 64 bits.
//
// Reading contract (fromString / fromHexString of numeric types): the text is
// scanned with the C library's formatted input and the scan's result is
// returned: 1 when a value was read, 0 when the text does not start with a
// number (leading white space and a sign are accepted), -1 for an empty text.
// When nothing is read the target keeps its previous value, so callers that
// need a defined result initialise the target first. Characters after the
// number are ignored ("12abc" reads 12).
//
// Writing contract (toString / toHexString): the string argument is replaced
// by the value's text form. float and double print six decimals.
//
// Thread safety: all functions are stateless and re-entrant.
#ifndef EVTASK_UTIL_BASICCONVERSION_H
#define EVTASK_UTIL_BASICCONVERSION_H

#include <string>

#include "evtask/export.h"

class EVTASK_EXPORT BasicConversion {
 public:
  // True exactly when the text is not empty, does not start with '0' and is
  // not "false" (case-sensitive). Always writes the target. Returns 1 for a
  // non-empty text, 0 for an empty one (the target is then false).
  static int fromString(bool& value, const std::string& s);
  // The first character of the text; 0 for an empty text. The text is not
  // parsed as a number. Always writes the target; returns 1, or 0 for an
  // empty text.
  static int fromString(char& value, const std::string& s);
  static int fromString(unsigned char& value, const std::string& s);

  static int fromString(short& value, const std::string& s);               // "%hd"
  static int fromString(unsigned short& value, const std::string& s);      // "%hu"
  static int fromString(int& value, const std::string& s);                 // "%d"
  static int fromString(unsigned int& value, const std::string& s);        // "%u"
  static int fromString(long& value, const std::string& s);                // "%ld"
  static int fromString(unsigned long& value, const std::string& s);       // "%lu"
  static int fromString(long long& value, const std::string& s);           // "%lld"
  static int fromString(unsigned long long& value, const std::string& s);  // "%llu"
  static int fromString(float& value, const std::string& s);               // "%f"
  static int fromString(double& value, const std::string& s);              // "%lf"

  // "1" for true, "0" for false.
  static void toString(bool value, std::string& s);
  // A one-character text holding the value.
  static void toString(char value, std::string& s);
  static void toString(unsigned char value, std::string& s);
  static void toString(short value, std::string& s);
  static void toString(unsigned short value, std::string& s);
  static void toString(int value, std::string& s);
  static void toString(unsigned int value, std::string& s);
  static void toString(long value, std::string& s);
  static void toString(unsigned long value, std::string& s);
  static void toString(long long value, std::string& s);
  static void toString(unsigned long long value, std::string& s);
  static void toString(float value, std::string& s);   // "%f"
  static void toString(double value, std::string& s);  // "%f"

  // Hexadecimal forms. Reading accepts an optional "0x" prefix, so every
  // toHexString text reads back with the matching fromHexString. long long
  // uses the bit pattern of the unsigned form in both directions.
  static int fromHexString(unsigned short& value, const std::string& s);
  static int fromHexString(unsigned int& value, const std::string& s);
  static int fromHexString(unsigned long& value, const std::string& s);
  static int fromHexString(long long& value, const std::string& s);
  static int fromHexString(unsigned long long& value, const std::string& s);

  // "0x" followed by lower-case hexadecimal digits, no padding.
  static void toHexString(unsigned short value, std::string& s);
  static void toHexString(unsigned int value, std::string& s);
  static void toHexString(unsigned long value, std::string& s);
  static void toHexString(long long value, std::string& s);
  static void toHexString(unsigned long long value, std::string& s);
};

#endif  // EVTASK_UTIL_BASICCONVERSION_H
