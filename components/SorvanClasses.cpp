// Makes TSorvanIn and TSorvanOut known by name to form files for as long as
// the module holding this unit is loaded.
#include "components/Sorvan.h"
#include "framework/ClassRegistry.h"

namespace {

struct TSorvanClassRegistration {
    TSorvanClassRegistration() {
        RegisterClasses({&TSorvanIn::StaticClass(), &TSorvanOut::StaticClass()});
    }
    ~TSorvanClassRegistration() {
        UnRegisterClass(TSorvanOut::StaticClass());
        UnRegisterClass(TSorvanIn::StaticClass());
    }
    TSorvanClassRegistration(const TSorvanClassRegistration&) = delete;
    TSorvanClassRegistration& operator=(const TSorvanClassRegistration&) = delete;
};

const TSorvanClassRegistration registration;

}  // namespace
