#include <windows.h>

#include "SystemHeaders.h"
#include "components/Sorvan.h"
#include "framework/ClassRegistry.h"

void RegisterWithSystemHeadersFirst(const TClassInfo& classInfo) {
    RegisterClass(classInfo);
}
