// Result codes of evtask. Operations return an int: 0 for success,
// otherwise a code built as (area * 65536) + number, passed up unchanged from
// the session, the server or the message base, or one of these.
#ifndef EVTASK_PLATFORM_YMERRORS_H
#define EVTASK_PLATFORM_YMERRORS_H

// Task objects and the task service.
#define YM_DB_NODATA 100                   // no data (no entity, empty value)
#define YM_PROP_NOT_FOUND 524289           // 0x80001: option or file not in cache
#define YM_GET_INTERFACE_FAILED 655371     // 0xA000B: "get Interface failed"
// 0xA00F0: the operation is declared but not available in this build; text
// "Operation not available in this build of evtask".
#define YM_OPERATION_NOT_AVAILABLE 655600
#define YM_BAD_ID_TEXT 655601              // 0xA00F1: an id given as text is not a decimal number

// XML message base (area 0xB).
#define YM_XML_INIT_FAILED 720897          // 0xB0001: "XML Message initilization failed"
#define YM_XML_MALFORMED 720898            // 0xB0002: the text is not well-formed XML of our form
#define YM_XML_WRONG_CLASS 720899          // 0xB0003: the text names another message class
#define YM_XML_WRONG_TYPE 720900           // 0xB0004: a field of another kind than asked or declared
#define YM_XML_OUT_OF_RANGE 720901         // 0xB0005: a number outside its type's range
#define YM_XML_LIMIT 720902                // 0xB0006: size, depth or list length limit exceeded
#define YM_XML_NOT_SET 720903              // 0xB0007: the field is not set
#define YM_XML_EMPTY 720904                // 0xB0008: no XML text at all
#define YM_XML_INIT_FAILED_TEXT "XML Message initilization failed"

// Session to the application manager (area 0x1A).
#define YM_SESSION_NO_SERVER 1703937       // 0x1A0001: no application manager reachable
#define YM_SESSION_SEND_FAILED 1703938     // 0x1A0002: the request could not be sent
#define YM_SESSION_RECEIVE_FAILED 1703939  // 0x1A0003: the response could not be read
#define YM_SESSION_PROTOCOL_ERROR 1703940  // 0x1A0004: malformed frame
#define YM_SESSION_UNKNOWN_MESSAGE 1703941 // 0x1A0005: type code not in the wire catalogue
#define YM_SESSION_BAD_SIZE 1703942        // 0x1A0006: structure size differs from the catalogue
#define YM_SESSION_CLOSED 1703943          // 0x1A0007: "Server closed the connection"
#define YM_SESSION_TIMEOUT 1703944         // 0x1A0008: no answer in time
#define YM_SESSION_NO_MEMORY 1703945       // 0x1A0009: out of memory
#define YM_SESSION_OUT_OF_ORDER 1703946    // 0x1A000A: receive without a matching send
#define YM_SESSION_BAD_REQUEST 1703947     // 0x1A000B: a request structure cannot be encoded
#define YM_SESSION_AUTH_REFUSED 1703948    // 0x1A000C: the server refused authentication (or no key)
#define YM_SESSION_BAD_CONFIG 1703949      // 0x1A000D: the EVTASK_CONFIG file has a bad line

#define YM_OPERATION_NOT_AVAILABLE_TEXT "Operation not available in this build of evtask"

#endif  // EVTASK_PLATFORM_YMERRORS_H
