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
#define YM_XML_INIT_FAILED 720897          // 0xB0001: "XML Message initilization failed"

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

#define YM_OPERATION_NOT_AVAILABLE_TEXT "Operation not available in this build of evtask"

#endif  // EVTASK_PLATFORM_YMERRORS_H
