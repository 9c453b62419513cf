// The alert settings as both forms of the Alert page edit them: the shared controls, the
// settings they were last read into, and what "Submit" and "Email Alert Test" send. The page
// says how a body travels (through the ring to its projector, or to the whole group).
#pragma once

#include <functional>
#include <string>

#include "protocol/codec.h"
#include "settings/common/alert_form.h"

class QWidget;

namespace vistrel {

class AlertEditor {
  public:
    using Sender = std::function<void(const std::string& body)>;

    // Builds the controls on `page` (see AlertControls::Build) and connects its two buttons:
    // "Submit" reads the controls and sends the "set=alert" record, the test button sends
    // "set=test" without reading them (the projector mails with what it has stored).
    AlertEditor(QWidget* page, const char* overTemperatureLabel, int testId, int submitId,
                Sender send);

    const AlertSettings& settings() const { return alert_; }
    // Takes `alert` as the page's settings and shows them.
    void Show(const AlertSettings& alert);
    // Shows the page's settings again (whatever was typed since is dropped).
    void Rewrite() { controls_.Write(alert_); }
    void SetEnabled(bool enabled);

  private:
    AlertSettings alert_;
    AlertControls controls_;
    Sender send_;
};

}  // namespace vistrel
