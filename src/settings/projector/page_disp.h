// The Display tab of the "Projector Setting" dialog: projection orientation, display format,
// zoom, vertical image shift and vertical keystone. Zoom and image shift need a signal: they
// are disabled while the source is "None".
#pragma once

#include <QTimer>
#include <string>
#include <vector>

#include "settings/projector/tab_page_support.h"

class QComboBox;

namespace vistrel {

class CPageDisp : public CSettingsPage {
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

  protected:
    void OnReply(const MsgCmd& slot) override;
    void OnDropped(const std::string& body) override;

  private:
    struct ChoiceList {
        const SettingDef* def;
        QComboBox* list;
        int* member;
    };

    void BuildControls();
    bool ReadControls();
    void ReadLists();
    void WriteControls();

    void OnListChosen(const ChoiceList& choice);
    int OnUpDown(const NumberSetting& setting, int delta);
    void OnSet(const NumberSetting& setting);

    // Members in the order the page keeps them; -1 is "no row selected".
    int projectionIndex_ = -1;
    int formatIndex_ = -1;
    int imageShift_ = 0;
    int keystone_ = 0;
    int zoom_ = 0;

    std::vector<ChoiceList> lists_;
    std::vector<NumberSetting> numbers_;
    // One control refresh for a burst of dropped requests.
    QTimer dropRefresh_;
};

}  // namespace vistrel
