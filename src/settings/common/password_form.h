// The "Password" box that both forms of the Network page show: the administrator's access
// list and password with its confirmation, the user account's row (built, never shown; its
// values still travel in the record) and the "Submit" button, with what they send.
#pragma once

#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;
class QWidget;

namespace vistrel {

// What the operator entered. Access values are list indices: 0 ON, 1 OFF, -1 none chosen.
struct PasswordEntries {
    std::string adminPassword;
    std::string adminConfirm;
    std::string userPassword;
    std::string userConfirm;
    int adminAccess = -1;
    int userAccess = -1;

    // Both passwords match their confirmation (byte for byte).
    bool Confirmed() const;
    // The "set=user" body; nullopt while no administrator access is chosen, which the
    // record's one-digit flag cannot carry. The hidden user row, never chosen, goes as OFF.
    std::optional<std::string> UserRecord() const;
    // The same record with the user access a projector reported (its digit, 1 ON), which
    // the record would otherwise overwrite.
    std::optional<std::string> UserRecordKeeping(int userAccessDigit) const;
};

struct PasswordControls {
    enum : int {
        kAdminAccess = 1012,
        kAdminPassword = 1066,
        kAdminConfirm = 1067,
        kUserAccess = 1065,
        kUserPassword = 1068,
        kUserConfirm = 1069,
        kSubmit = 1021,
    };

    // `pageIds` followed by the ids above, in their order: a page's controls, these last.
    static std::vector<int> AfterPageIds(std::vector<int> pageIds);

    QComboBox* adminList = nullptr;
    QLineEdit* adminPassword = nullptr;
    QLineEdit* adminConfirm = nullptr;
    QComboBox* userList = nullptr;
    QLineEdit* userPassword = nullptr;
    QLineEdit* userConfirm = nullptr;
    QPushButton* submit = nullptr;

    // Builds the box on `page`; the two access lists hold `onLabel` and `offLabel`.
    void Build(QWidget* page, const char* onLabel, const char* offLabel);
    PasswordEntries Read() const;
    void Write(const PasswordEntries& entries);
    // The controls in the order of their ids above.
    std::vector<QWidget*> All() const;
};

}  // namespace vistrel
