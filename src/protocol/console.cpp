#include "protocol/console.h"

namespace vistrel {

bool ProjectorTable::Guard::Lookup(const std::string& mac, Info& out) const {
    const Info* found = Find(mac);
    if (!found) return false;
    out = *found;
    return true;
}

void ProjectorTable::Guard::Store(const Info& info) {
    auto it = table_.index_.find(info.mac);
    if (it != table_.index_.end()) {
        table_.records_[it->second] = info;
        return;
    }
    table_.index_.emplace(info.mac, table_.records_.size());
    table_.records_.push_back(info);
}

Info* ProjectorTable::Guard::Find(const std::string& mac) {
    auto it = table_.index_.find(mac);
    return it == table_.index_.end() ? nullptr : &table_.records_[it->second];
}

const Info* ProjectorTable::Guard::Find(const std::string& mac) const {
    auto it = table_.index_.find(mac);
    return it == table_.index_.end() ? nullptr : &table_.records_[it->second];
}

}  // namespace vistrel
