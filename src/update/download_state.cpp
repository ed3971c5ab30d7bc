#include "update/download_state.h"

#include "resources/resource.h"

namespace qvx {

StateView ViewOfState(int state) {
  using S = DownloadState;
  // result, error, caption, OK, Cancel, progress, icon
  switch (static_cast<S>(state)) {
    case S::Checking: return {IDS_AU_CHECKING, false, IDS_AU_ACCEPT, false, false, false, IDI_AU_ACCEPT, kDarkBlue, kRed};
    case S::Downloading:
      return {IDS_AU_DOWNLOADING, false, IDS_AU_STOP, true, false, true, IDI_AU_STOP, kDarkBlue, kRed};
    case S::DownloadingComponent:
      return {IDS_AU_DOWNLOADING_PACKAGE, false, IDS_AU_STOP, true, false, true, IDI_AU_STOP, kDarkBlue, kRed};
    case S::UpToDate:
      return {IDS_AU_UP_TO_DATE, false, IDS_AU_ACCEPT, true, true, false, IDI_AU_ACCEPT, kDarkBlue, kDarkBlue};
    case S::UpdateAvailable:
      return {IDS_AU_AVAILABLE, false, IDS_AU_DOWNLOAD, true, true, true, IDI_AU_DOWNLOAD, kDarkBlue, kRed};
    case S::Downloaded:
      return {IDS_AU_DOWNLOADED, false, IDS_AU_INSTALL, true, true, true, IDI_AU_ACCEPT, kDarkBlue, kRed};
    case S::NoAppInfo:
      return {IDS_AU_NO_APP_INFO, false, IDS_AU_ACCEPT, true, true, false, IDI_AU_ERROR, kDarkRed, kRed};
    case S::DownloadFailed:
      return {IDS_AU_DOWNLOAD_FAILED, true, IDS_AU_DOWNLOAD, true, true, false, IDI_AU_DOWNLOAD, kDarkRed, kRed};
    case S::QueryFailed:
      return {IDS_AU_QUERY_FAILED, true, IDS_AU_ACCEPT, true, true, false, IDI_AU_ERROR, kDarkRed, kRed};
    case S::AttemptsExhausted:
      return {IDS_AU_ATTEMPTS_EXHAUSTED, false, IDS_AU_ACCEPT, true, true, false, IDI_AU_ERROR, kDarkRed, kRed};
  }
  return {IDS_AU_UNDEFINED, false, IDS_AU_ACCEPT, true, true, false, IDI_AU_ERROR, kDarkBlue, kRed};
}

std::string ResultText(const StateView& view, const std::string& format, const std::string& lastError,
                       const std::string& undefinedError) {
  if (!view.withError) return format;
  std::string text = format;
  const size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, lastError.empty() ? undefinedError : lastError);
  return text;
}

OkAction DownloadFlow::OnOk() const {
  if (Downloading()) return OkAction::Stop;
  if (Is(DownloadState::UpToDate) || Is(DownloadState::Downloaded)) return OkAction::CloseOk;
  if (Is(DownloadState::UpdateAvailable) || Is(DownloadState::DownloadFailed)) return OkAction::Download;
  return OkAction::CloseCancel;
}

EscapeAction DownloadFlow::OnEscape() const {
  if (Downloading()) return EscapeAction::Ignore;
  return Is(DownloadState::Downloaded) ? EscapeAction::Ask : EscapeAction::Close;
}

void DownloadFlow::DownloadFailed() {
  ++failedAttempts;
  Set(failedAttempts >= kAttemptsAllowed ? DownloadState::AttemptsExhausted : DownloadState::DownloadFailed);
}

}  // namespace qvx
