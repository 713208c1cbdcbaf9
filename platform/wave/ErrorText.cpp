// waveInGetErrorTextA and waveOutGetErrorTextA: the system's descriptions of
// the result codes, so that an application prints the same text everywhere.
#include <algorithm>
#include <string_view>

#include "platform/WaveApi.h"

namespace {

// The system's texts, by code; both directions share them.
std::string_view ErrorText(MMRESULT code) {
    switch (code) {
        case MMSYSERR_NOERROR: return "The specified command was carried out.";
        case MMSYSERR_ERROR: return "Undefined external error.";
        case MMSYSERR_BADDEVICEID:
            return "A device ID has been used that is out of range for your system.";
        case MMSYSERR_NOTENABLED: return "The driver was not enabled.";
        case MMSYSERR_ALLOCATED:
            return "The specified device is already in use. Wait until it is free, and then try "
                   "again.";
        case MMSYSERR_INVALHANDLE: return "The specified device handle is invalid.";
        case MMSYSERR_NODRIVER: return "There is no driver installed on your system.";
        case MMSYSERR_NOMEM:
            return "There is not enough memory available for this task. Quit one or more "
                   "applications to increase available memory, and then try again.";
        case MMSYSERR_NOTSUPPORTED:
            return "This function is not supported. Use the Capabilities function to determine "
                   "which functions and messages the driver supports.";
        case MMSYSERR_BADERRNUM: return "An error number was specified that is not defined in the system.";
        case MMSYSERR_INVALFLAG: return "An invalid flag was passed to a system function.";
        case MMSYSERR_INVALPARAM: return "An invalid parameter was passed to a system function.";
        case MMSYSERR_HANDLEBUSY:
            return "The handle is being used simultaneously on another thread (for example, a "
                   "callback).";
        case WAVERR_BADFORMAT:
            return "The specified format is not supported or cannot be translated. Use the "
                   "Capabilities function to determine the supported formats.";
        case WAVERR_STILLPLAYING:
            return "Cannot perform this operation while media data is still playing. Reset the "
                   "device, or wait until the data is finished playing.";
        case WAVERR_UNPREPARED:
            return "The wave header was not prepared. Use the Prepare function to prepare the "
                   "header, and then try again.";
        case WAVERR_SYNC:
            return "Cannot open the device without using the WAVE_ALLOWSYNC flag. Use the flag, "
                   "and then try again.";
        default: return {};
    }
}

// Copies the text for `code` into text[0..size), cut short where it does not
// fit and always terminated. A size of 0 copies nothing and succeeds.
MMRESULT CopyErrorText(MMRESULT code, LPSTR text, UINT size) {
    if (size == 0) return MMSYSERR_NOERROR;
    if (text == nullptr) return MMSYSERR_INVALPARAM;
    const std::string_view message = ErrorText(code);
    const std::size_t length = std::min<std::size_t>(message.size(), size - 1);
    message.copy(text, length);
    text[length] = '\0';
    // Only the codes above have a text; any other leaves an empty string.
    return message.empty() ? MMSYSERR_BADERRNUM : MMSYSERR_NOERROR;
}

}  // namespace

MMRESULT waveInGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText) {
    return CopyErrorText(mmrError, pszText, cchText);
}

MMRESULT waveOutGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText) {
    return CopyErrorText(mmrError, pszText, cchText);
}
