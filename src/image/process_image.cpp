#include "image/process_image.h"

#include <strings.h>

namespace liron {

TProcessImage::TProcessImage(Clock& c, Operator* o) : clock(c), op(o) {
  ControlMoment = clock.Now();
}

int TProcessImage::SignalIndex(const std::string& name) const {
  for (size_t i = 0; i < SignalNames.size() && i < static_cast<size_t>(kMaxSignals); ++i)
    if (strcasecmp(SignalNames[i].c_str(), name.c_str()) == 0) return static_cast<int>(i);
  return kSpareSlot;
}

void TProcessImage::ClearValues() {
  RawValues.Clear();
  OutValues.Clear();
  PhysValues.Clear();
  AvgValues.Clear();
}

void TProcessImage::ResetAverages() {
  const int32_t len = Settings().AverageLen;
  for (auto& avg : Averages) {
    if (!avg) continue;
    avg->SetSize(len);
    avg->Reset();
  }
}

void TProcessImage::EnsureAverages(int count) {
  for (int i = 0; i < count && i < kMaxSignals; ++i)
    if (!Averages[i]) Averages[i] = std::make_unique<TFlyAverage>(op);
}

TSettings TProcessImage::Settings() const {
  std::lock_guard<std::mutex> l(settings_mu_);
  return settings_;
}

void TProcessImage::SetSettings(const TSettings& s) {
  std::lock_guard<std::mutex> l(settings_mu_);
  settings_ = s;
}

void TProcessImage::SetLinkError(int link, const std::string& text) {
  if (link < 0 || link >= kLinkCount) return;
  std::lock_guard<std::mutex> l(link_error_mu_);
  link_errors_[static_cast<size_t>(link)] = text;
}

std::string TProcessImage::LinkError(int link) const {
  if (link < 0 || link >= kLinkCount) return {};
  std::lock_guard<std::mutex> l(link_error_mu_);
  return link_errors_[static_cast<size_t>(link)];
}

}  // namespace liron
