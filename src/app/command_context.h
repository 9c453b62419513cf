// What the main window's commands work on besides the window itself: the store that keeps
// the group keys and the request ring that sends batches.
#pragma once

namespace vistrel {

class CVistrelDlg;
class RegStore;
class RequestRing;

struct CommandContext {
    CVistrelDlg& window;
    RegStore& store;
    RequestRing& ring;
};

}  // namespace vistrel
