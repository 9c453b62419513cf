// The Image tab of the "Projector Setting" dialog: display mode, brightness, contrast,
// sharpness, BrilliantColor, phase, degamma, color temperature, color space and closed
// captioning. Which of its three display-mode lists shows, and whether closed captioning is
// offered, depends on the projector's model code and 3D flag.
#pragma once

#include <string>
#include <vector>

#include "settings/common/catalog_page.h"

namespace vistrel {

class CPageImg : public CCatalogPage {
    Q_OBJECT
  public:
    // Control ids.
    enum : int {
        kModeListA = 1012,
        kModeListB = 1013,
        kModeListC = 1014,
        kModeLabelA = 1146,
        kModeLabelB = 1147,
        kModeLabelC = 1148,
        kBrightnessEdit = 1048,
        kBrightnessUpDown = 1018,
        kBrightnessSet = 1134,
        kSharpnessEdit = 1049,
        kSharpnessUpDown = 1021,
        kSharpnessSet = 1130,
        kBrilliantColorEdit = 1050,
        kBrilliantColorUpDown = 1025,
        kBrilliantColorSet = 1131,
        kContrastEdit = 1051,
        kContrastUpDown = 1037,
        kContrastSet = 1132,
        kPhaseEdit = 1026,
        kPhaseUpDown = 1027,
        kPhaseSet = 1133,
        kDegamma = 1022,
        kColorTemperature = 1024,
        kColorSpace = 1030,
        kClosedCaptioning = 1031,
        kClosedCaptioningLabel = 1141,
    };
    // List C is in neither group: once the model rules have placed it, it stays usable.
    static const std::vector<int>& FullGroup();
    static const std::vector<int>& PhaseGroup();

    CPageImg(SettingsFrame& frame, QWidget* frameWidget, QWidget* parent);

    void ParseReply(const std::string& reply) override;
    void ApplyEnableState(const std::string& reply);

    // Whether a model rule has placed the display-mode lists yet.
    bool modelRulesApplied() const { return modelRulesApplied_; }

  private:
    void BuildControls();
    // The model rules: which display-mode list and whether closed captioning shows.
    void ApplyModelRules(const std::string& reply);
    void ShowModeList(int listId);

    // Members in the order the page keeps them; -1 is "no row selected".
    int modeIndexA_ = -1;
    int modeIndexB_ = -1;
    int modeIndexC_ = -1;
    int brightness_ = 0;
    int contrast_ = 0;
    int sharpness_ = 0;
    int degammaIndex_ = -1;
    int brilliantColor_ = 0;
    int colorTempIndex_ = -1;
    int phase_ = 0;
    int colorSpaceIndex_ = -1;
    int captionIndex_ = -1;

    bool modelRulesApplied_ = false;
};

}  // namespace vistrel
