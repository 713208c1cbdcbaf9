// waveInGetErrorTextA / waveOutGetErrorTextA: the texts and the buffer rules.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "platform/WaveApi.h"

namespace {

using GetErrorText = MMRESULT (*)(MMRESULT, LPSTR, UINT);

class WaveErrorText : public ::testing::TestWithParam<GetErrorText> {
  protected:
    std::string TextOf(MMRESULT code) {
        char text[MAXERRORLENGTH];
        EXPECT_EQ(GetParam()(code, text, sizeof text), MMSYSERR_NOERROR) << code;
        return text;
    }
};

TEST_P(WaveErrorText, EveryCodeTheLayerReturnsHasItsOwnText) {
    const MMRESULT codes[] = {
        MMSYSERR_NOERROR,  MMSYSERR_ERROR,      MMSYSERR_BADDEVICEID, MMSYSERR_NOTENABLED,
        MMSYSERR_ALLOCATED, MMSYSERR_INVALHANDLE, MMSYSERR_NODRIVER,   MMSYSERR_NOMEM,
        MMSYSERR_NOTSUPPORTED, MMSYSERR_BADERRNUM, MMSYSERR_INVALFLAG, MMSYSERR_INVALPARAM,
        WAVERR_BADFORMAT,  WAVERR_STILLPLAYING, WAVERR_UNPREPARED,    WAVERR_SYNC,
    };
    std::set<std::string> seen;
    for (const MMRESULT code : codes) {
        const std::string text = TextOf(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_LT(text.size(), MAXERRORLENGTH) << code;
        EXPECT_TRUE(seen.insert(text).second) << "text repeated for " << code;
    }
    EXPECT_EQ(TextOf(MMSYSERR_BADDEVICEID),
              "A device ID has been used that is out of range for your system.");
}

TEST_P(WaveErrorText, AShortBufferGetsTheStartOfTheTextTerminated) {
    const std::string whole = TextOf(WAVERR_BADFORMAT);
    char text[10];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(GetParam()(WAVERR_BADFORMAT, text, sizeof text), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(text), whole.substr(0, 9));

    char one = 'x';
    EXPECT_EQ(GetParam()(WAVERR_BADFORMAT, &one, 1), MMSYSERR_NOERROR);
    EXPECT_EQ(one, '\0');
}

TEST_P(WaveErrorText, ASizeOfZeroCopiesNothingAndANullBufferIsRefused) {
    char text = 'x';
    EXPECT_EQ(GetParam()(WAVERR_BADFORMAT, &text, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(text, 'x');
    EXPECT_EQ(GetParam()(WAVERR_BADFORMAT, nullptr, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(GetParam()(WAVERR_BADFORMAT, nullptr, MAXERRORLENGTH), MMSYSERR_INVALPARAM);
}

TEST_P(WaveErrorText, AnUnknownCodeIsABadErrorNumberWithAnEmptyText) {
    for (const MMRESULT code : {MMRESULT{31}, MMRESULT{36}, MMRESULT{64}, ~MMRESULT{0}}) {
        char text[MAXERRORLENGTH];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(GetParam()(code, text, sizeof text), MMSYSERR_BADERRNUM) << code;
        EXPECT_EQ(text[0], '\0') << code;
    }
}

// Named, not numbered by address: the test list is read once when the tests
// are built, and an address differs from run to run.
INSTANTIATE_TEST_SUITE_P(BothDirections, WaveErrorText,
                         ::testing::Values(&waveInGetErrorTextA, &waveOutGetErrorTextA),
                         [](const ::testing::TestParamInfo<GetErrorText>& info) {
                             return info.param == &waveInGetErrorTextA ? "waveIn" : "waveOut";
                         });

}  // namespace
