#include "protocol/codec.h"

#include <cstdio>

#include "protocol/option_tables.h"

namespace vistrel {

namespace {

constexpr std::string_view kCommandPrefix = "command=";

// Info reply fields, counted from just after the first "OK".
constexpr size_t kInfoPowerOffset = 0;
constexpr size_t kInfoLampOffset = 1;
constexpr size_t kInfoLampWidth = 4;
constexpr size_t kInfoSourceOffset = 5;
constexpr size_t kInfoSourceWidth = 2;
constexpr size_t kInfoFirmwareOffset = 7;
constexpr size_t kInfoFirmwareWidth = 4;
constexpr size_t kInfoDisplayModeOffset = 11;

constexpr size_t kGroupNameOffset = 16;
constexpr size_t kProjectorNameOffset = 48;
constexpr size_t kModelCodeOffset = 18;

constexpr size_t kNetworkAddressOffset = 18;
constexpr size_t kHexAddressWidth = 8;
constexpr size_t kNetworkDhcpOffset = 50;

constexpr size_t kUserAdminOffset = 15;
constexpr size_t kUserUserOffset = 16;

constexpr size_t kAlertTextOffset = 16;
constexpr size_t kAlertFlagOffset = 240;

// The record's texts in wire order.
constexpr std::string AlertSettings::*kAlertTexts[] = {
    &AlertSettings::mailTo,       &AlertSettings::mailCc,     &AlertSettings::mailSubject,
    &AlertSettings::mailFrom,     &AlertSettings::smtpServer, &AlertSettings::smtpUser,
    &AlertSettings::smtpPassword,
};

constexpr int AlertSettings::*kAlertFlags[] = {
    &AlertSettings::alertFanLock,
    &AlertSettings::alertOverTemperature,
    &AlertSettings::alertLampHours,
    &AlertSettings::alertLampFail,
};

}  // namespace

bool ReplyBeginsWith(std::string_view reply, std::string_view prefix) {
    return reply.substr(0, prefix.size()) == prefix;
}

bool ReplyContains(std::string_view reply, std::string_view tag) {
    return reply.find(tag) != std::string_view::npos;
}

std::string QueryBody(QueryTopic topic) {
    switch (topic) {
        case QueryTopic::Info:
            return std::string(kQueryInfoBody);
        case QueryTopic::Group:
            return std::string(kQueryGroupBody);
        case QueryTopic::Model:
            return std::string(kQueryModelBody);
        case QueryTopic::Control:
            return std::string(kQueryControlBody);
        case QueryTopic::Network:
            return std::string(kQueryNetworkBody);
        case QueryTopic::User:
            return std::string(kQueryUserBody);
        case QueryTopic::Alert:
            return std::string(kQueryAlertBody);
    }
    return {};
}

std::string BuildCommand(std::string_view codeText) {
    std::string body(kCommandPrefix);
    body += codeText;
    return body;
}

std::string BuildValueCommand(std::string_view prefix, int value, ValueForm form) {
    const char* format = "%d";
    if (form == ValueForm::ZeroPadded3)
        format = "%03d";
    if (form == ValueForm::RightAligned3)
        format = "%3d";
    char number[16];
    std::snprintf(number, sizeof number, format, value);
    std::string body = BuildCommand(prefix);
    body += number;
    return body;
}

std::string BuildGroupRecord(std::string_view groupName, std::string_view projectorName) {
    std::string body = "set=group";
    body += PadField(groupName, kTextFieldWidth);
    body += PadField(projectorName, kTextFieldWidth);
    return body;
}

std::string BuildNetworkRecord(const NetworkConfig& config) {
    std::string body = "set=network";
    body += config.dhcp ? '1' : '0';
    for (uint32_t address : {config.ip, config.mask, config.gateway, config.dns}) {
        body += HexAddress(address);
    }
    return body;
}

std::optional<std::string> BuildNetworkRecordKeepingAddresses(bool dhcp,
                                                              std::string_view networkReply) {
    if (!ReplyContains(networkReply, kNetworkTag))
        return std::nullopt;
    std::string body = "set=network";
    body += dhcp ? '1' : '0';
    for (size_t i = 0; i < 4; ++i) {
        std::optional<uint32_t> packed = ParseHexAddress(
            FieldAt(networkReply, kNetworkAddressOffset + i * kHexAddressWidth, kHexAddressWidth));
        if (!packed)
            return std::nullopt;
        // Rewritten rather than copied: a projector may answer in lower case, and the record
        // carries upper case.
        body += HexAddress(*packed);
    }
    return body;
}

std::string BuildUserRecord(int adminAccess, std::string_view adminPassword, int userAccess,
                            std::string_view userPassword) {
    std::string body = "set=user";
    body += FlagDigit(adminAccess);
    body += PadField(adminPassword, kTextFieldWidth);
    body += FlagDigit(userAccess);
    body += PadField(userPassword, kTextFieldWidth);
    return body;
}

std::string BuildAlertRecord(const AlertSettings& alert) {
    std::string body = "set=alert";
    for (auto text : kAlertTexts)
        body += PadField(alert.*text, kTextFieldWidth);
    for (auto flag : kAlertFlags)
        body += FlagDigit(alert.*flag);
    return body;
}

bool BeginsWithOk(std::string_view reply) {
    return ReplyBeginsWith(reply, kResultOkReply);
}

bool ContainsOk(std::string_view reply) {
    return ReplyContains(reply, kResultOkReply);
}

bool ParseInfoReply(std::string_view reply, Info& info) {
    size_t ok = reply.find("OK");
    if (ok == std::string_view::npos) {
        info.power.clear();
        info.lampHour.clear();
        info.source.clear();
        info.fwVersion.clear();
        info.displayMode.clear();
        return false;
    }
    std::string_view fields = reply.substr(ok + 2);
    std::string_view powerDigit = FieldAt(fields, kInfoPowerOffset, 1);
    if (powerDigit == "2") {
        info.power = "standby";
        info.lampHour.clear();
        info.source.clear();
        info.fwVersion.clear();
        info.displayMode.clear();
        return true;
    }
    info.power = LabelByCode(kPowerTable, LeadingInt(powerDigit));
    info.lampHour = FieldAt(fields, kInfoLampOffset, kInfoLampWidth);
    info.source = LabelByCode(kSourceTable, IntAt(fields, kInfoSourceOffset, kInfoSourceWidth));
    info.fwVersion = FieldAt(fields, kInfoFirmwareOffset, kInfoFirmwareWidth);
    int mode = IntAt(fields, kInfoDisplayModeOffset, 1);
    info.displayMode =
        mode == 0 ? std::string("None") : std::string(LabelByCode(kInfoDisplayModeTable, mode));
    return true;
}

GroupNames ReadGroupNames(std::string_view reply) {
    return {TextAt(reply, kGroupNameOffset, kTextFieldWidth),
            TextAt(reply, kProjectorNameOffset, kTextFieldWidth)};
}

bool ParseGroupReply(std::string_view reply, Info& info) {
    if (!ReplyBeginsWith(reply, kGroupReplyPrefix))
        return false;
    GroupNames names = ReadGroupNames(reply);
    info.groupName = std::move(names.groupName);
    info.projectorName = std::move(names.projectorName);
    return true;
}

std::optional<std::string> ParseModelReply(std::string_view reply) {
    if (!ReplyBeginsWith(reply, kModelReplyPrefix))
        return std::nullopt;
    return std::string(FieldAt(reply, kModelCodeOffset, 1));
}

bool IsControlReply(std::string_view reply) {
    return ReplyBeginsWith(reply, kControlReplyPrefix);
}

ControlReply ReadControlReply(std::string_view reply) {
    ControlReply control;
    for (const ControlField& field : kControlLayout) {
        control.*field.member = IntAt(reply, field.offset, field.width);
    }
    return control;
}

std::optional<NetworkReply> ParseNetworkReply(std::string_view reply) {
    if (!ReplyContains(reply, kNetworkTag))
        return std::nullopt;
    NetworkReply network;
    network.complete = reply.size() >= kNetworkReplyLength;
    uint32_t* addresses[] = {&network.config.ip, &network.config.mask, &network.config.gateway,
                             &network.config.dns};
    for (size_t i = 0; i < 4; ++i) {
        std::optional<uint32_t> packed = ParseHexAddress(
            FieldAt(reply, kNetworkAddressOffset + i * kHexAddressWidth, kHexAddressWidth));
        *addresses[i] = packed.value_or(0);
        if (!packed)
            network.complete = false;
    }
    network.config.dhcp = IntAt(reply, kNetworkDhcpOffset, 1) != 0;
    return network;
}

std::optional<UserReply> ParseUserReply(std::string_view reply) {
    if (!ReplyContains(reply, kUserTag))
        return std::nullopt;
    return UserReply{IntAt(reply, kUserAdminOffset, 1), IntAt(reply, kUserUserOffset, 1)};
}

std::optional<AlertSettings> ParseAlertReply(std::string_view reply) {
    if (!ReplyContains(reply, kAlertTag))
        return std::nullopt;
    AlertSettings alert;
    size_t offset = kAlertTextOffset;
    for (auto text : kAlertTexts) {
        alert.*text = TextAt(reply, offset, kTextFieldWidth);
        offset += kTextFieldWidth;
    }
    offset = kAlertFlagOffset;
    for (auto flag : kAlertFlags)
        alert.*flag = IntAt(reply, offset++, 1);
    return alert;
}

}  // namespace vistrel
