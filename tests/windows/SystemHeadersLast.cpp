#include "SystemHeaders.h"
#include "framework/ClassRegistry.h"

#include <windows.h>

#include "components/Sorvan.h"

void RegisterWithSystemHeadersLast(const TClassInfo& classInfo) {
    RegisterClass(classInfo);
}
