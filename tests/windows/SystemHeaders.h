// Translation units include <windows.h> before and after the framework's
// headers, and for the wide-character API, and register a class with the
// framework, each through its own include order.
#pragma once

struct TClassInfo;

// Calls the framework's RegisterClass from a file that includes <windows.h> first.
void RegisterWithSystemHeadersFirst(const TClassInfo& classInfo);
// The same from a file that includes <windows.h> last.
void RegisterWithSystemHeadersLast(const TClassInfo& classInfo);
// The same from a file built for the wide-character API (UNICODE).
void RegisterWithUnicodeSystemHeaders(const TClassInfo& classInfo);
