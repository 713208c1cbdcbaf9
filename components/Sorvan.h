// Unit Sorvan: the capture and playback components and the pieces they share.
#pragma once

#include "components/SorvanIn.h"
#include "components/SorvanOut.h"
#include "components/SorvanWave.h"
