// Everything a driver, the core and the virtual devices share, in three
// headers: the driver contract (DriverContract.h), the driver registry
// (Registry.h) and the watching of API calls for tests (CallObserver.h).
#pragma once

#include "platform/wave/CallObserver.h"
#include "platform/wave/DriverContract.h"
#include "platform/wave/Registry.h"
