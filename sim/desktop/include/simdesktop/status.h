// Windows status codes that the simulated desktop's services return, with the numbers Windows uses.
// Shared by every desktop service; plain constants, usable from any thread.
#ifndef SIMDESKTOP_STATUS_H
#define SIMDESKTOP_STATUS_H

#include <cstdint>

namespace simdesktop {

inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorNotEnoughMemory = 8;
inline constexpr long kErrorInvalidData = 13;
inline constexpr long kErrorInvalidParameter = 87;
inline constexpr long kErrorInsufficientBuffer = 122;
inline constexpr long kErrorNotLocked = 158;
inline constexpr long kErrorMoreData = 234;
inline constexpr long kErrorInvalidFlags = 1004;
inline constexpr long kErrorKeyDeleted = 1018;
inline constexpr long kErrorNoUnicodeTranslation = 1113;
inline constexpr long kErrorInvalidWindowHandle = 1400;
inline constexpr long kErrorInvalidIndex = 1413;
inline constexpr long kErrorClipboardNotOpen = 1418;
inline constexpr long kErrorInvalidThreadId = 1444;
inline constexpr long kErrorNotEnoughQuota = 1816;

}  // namespace simdesktop

#endif  // SIMDESKTOP_STATUS_H
