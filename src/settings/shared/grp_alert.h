// The Alert page of the "Group Setting" dialog: the same alert settings written to every
// addressed projector at once, and a test mail from each; the frame's progress bar counts
// the answers. It starts empty and shows no projector's values.
#pragma once

#include "settings/common/alert_editor.h"
#include "settings/common/group_page.h"

namespace vistrel {

class CGrpAlert : public CGroupPage {
    Q_OBJECT
  public:
    enum : int { kTest = 1116, kSubmit = 1088 };

    CGrpAlert(GroupFrame& frame, QWidget* frameWidget, QWidget* parent);

    const AlertSettings& settings() const { return editor_.settings(); }

  protected:
    // The page stays usable while answers come in: only the bar follows them, and it keeps
    // showing how many answered.
    void SetControlsEnabled(bool) override {}
    bool BarReturnsToZero() const override { return false; }

  private:
    AlertEditor editor_;
};

}  // namespace vistrel
