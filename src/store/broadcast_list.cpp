#include "store/broadcast_list.h"

#include <arpa/inet.h>

#include <algorithm>
#include <sstream>

namespace vistrel {

bool IsIpv4Address(const std::string& text) {
    in_addr addr{};
    return text.size() <= 15 && inet_pton(AF_INET, text.c_str(), &addr) == 1;
}

std::vector<std::string> LoadDirectedBroadcasts(RegStore& store) {
    std::vector<std::string> addresses;
    const auto text = store.GetAppString(kDirectedBroadcastValue);
    if (!text)
        return addresses;
    std::istringstream words(*text);
    for (std::string word; words >> word;) {
        if (IsIpv4Address(word) &&
            std::find(addresses.begin(), addresses.end(), word) == addresses.end()) {
            addresses.push_back(word);
        }
    }
    return addresses;
}

int SaveDirectedBroadcasts(RegStore& store, const std::vector<std::string>& addresses) {
    std::string text;
    for (const std::string& address : addresses) {
        if (!text.empty())
            text += ' ';
        text += address;
    }
    return store.SetAppString(kDirectedBroadcastValue, text);
}

}  // namespace vistrel
