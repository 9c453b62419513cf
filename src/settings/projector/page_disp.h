// The Display tab of the "Projector Setting" dialog: projection orientation, display format,
// zoom, vertical image shift and vertical keystone. Zoom and image shift need a signal: they
// are disabled while the source is "None".
#pragma once

#include <string>
#include <vector>

#include "settings/common/catalog_page.h"

namespace vistrel {

class CPageDisp : public CCatalogPage {
    Q_OBJECT
  public:
    // Control ids.
    enum : int {
        kProjection = 1027,
        kDisplayFormat = 1012,
        kZoomEdit = 1055,
        kZoomUpDown = 1020,
        kZoomSet = 1136,
        kImageShiftEdit = 1023,
        kImageShiftUpDown = 1024,
        kImageShiftSet = 1135,
        kKeystoneEdit = 1056,
        kKeystoneUpDown = 1026,
        kKeystoneSet = 1134,
    };
    static const std::vector<int>& FullGroup();
    static const std::vector<int>& SignalGroup();

    CPageDisp(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent);

    void ParseReply(const std::string& reply) override;
    void ApplyEnableState(const std::string& reply);

  private:
    void BuildControls();

    // Members in the order the page keeps them; -1 is "no row selected".
    int projectionIndex_ = -1;
    int formatIndex_ = -1;
    int imageShift_ = 0;
    int keystone_ = 0;
    int zoom_ = 0;
};

}  // namespace vistrel
