// A program built for the system's wide-character API: <windows.h> then makes
// RegisterClass name RegisterClassW.
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>

#include "SystemHeaders.h"
#include "components/Sorvan.h"
#include "framework/ClassRegistry.h"

void RegisterWithUnicodeSystemHeaders(const TClassInfo& classInfo) {
    RegisterClass(classInfo);
}
