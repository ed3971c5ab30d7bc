// The download dialog's states and what each one shows, and the decisions
// that follow from the state (what OK, Escape and a failed download do).
// A plain class, so that the whole table is tested without windows; the
// dialog only copies a StateView to its controls.
#pragma once

#include <cstdint>
#include <string>

namespace qvx {

enum class DownloadState : int {
  Checking = 0,
  Downloading = 1,
  DownloadingComponent = 2,
  UpToDate = 3,
  UpdateAvailable = 4,
  Downloaded = 5,
  NoAppInfo = 6,
  DownloadFailed = 7,
  QueryFailed = 8,
  AttemptsExhausted = 9,
};

inline constexpr uint32_t Rgb(int r, int g, int b) { return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16; }
inline constexpr uint32_t kDarkRed = Rgb(125, 0, 0), kDarkBlue = Rgb(0, 0, 125), kRed = Rgb(255, 0, 0),
                          kDarkGreen = Rgb(0, 125, 0);

// String and icon resource IDs and colours (0x00BBGGRR) of one state.
struct StateView {
  unsigned resultText;  // control 336; "%s" takes the last error where withError
  bool withError;
  unsigned okCaption;
  bool okEnabled, cancelEnabled, progressShown;
  unsigned okIcon;
  uint32_t resultColour;     // control 336
  uint32_t installedColour;  // control 1045
};

StateView ViewOfState(int state);

// The result text: the state's string with "%s" filled by the last error
// (undefinedError when that is empty) in the states that show one.
std::string ResultText(const StateView& view, const std::string& format, const std::string& lastError,
                       const std::string& undefinedError);

enum class OkAction { Stop, CloseOk, Download, CloseCancel };
enum class EscapeAction { Ignore, Ask, Close };

class DownloadFlow {
 public:
  static constexpr int kAttemptsAllowed = 4;

  int state = static_cast<int>(DownloadState::Checking);
  int failedAttempts = 0;
  bool stopRequested = false;

  bool Is(DownloadState s) const { return state == static_cast<int>(s); }
  void Set(DownloadState s) { state = static_cast<int>(s); }
  bool Downloading() const { return Is(DownloadState::Downloading) || Is(DownloadState::DownloadingComponent); }

  OkAction OnOk() const;
  // Escape and the close box; Cancel always ends (after the question in Downloaded).
  EscapeAction OnEscape() const;
  // A failed download: DownloadFailed, or AttemptsExhausted at the fourth.
  void DownloadFailed();
};

}  // namespace qvx
