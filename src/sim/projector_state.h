// Everything one simulated projector knows about itself, and the faults it is told to show.
// Plain data: the fleet guards it, the web-control handler reads and changes it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vistrel::sim {

inline constexpr int kPowerOff = 0;
inline constexpr int kPowerOn = 1;
inline constexpr int kPowerStandby = 2;

// The picture, geometry and general settings reported by the control reply. Index fields are
// positions in the console's lists; code fields are the projector's own codes.
struct ControlSettings {
    int brightMode = 0;        // 0 STD, 1 Bright
    int freeze = 0;            // 1 frozen
    int sourceLock = 0;        // 1 locked
    int avMute = 0;            // 1 muted
    int infoHide = 0;          // 1 hide on (reported inverted: digit 0 means hide on)
    int highAltitude = 0;      // 1 on
    int keypadLock = 0;        // 1 on
    int directPower = 0;       // 1 on
    int displayFormat = 0;     // index 0..4: 4:3, 16:9-I, 16:9-II, Native, Auto
    int colorTemp = 0;         // index 0..2: Warm, Medium, Cold
    int degamma = 0;           // index 0..3: Film, Video, Graphics, PC
    int projection = 0;        // index 0..3: Front, Front + Ceiling, Rear, Rear + Ceiling
    int logo = 0;              // index 0..1
    int background = 0;        // index 0..4: Black, Red, Blue, Green, White
    int colorSpace = 0;        // index 0..2: AUTO, RGB, YUV
    int projectorId = 0;       // 0..99
    int volume = 5;            // 0..10
    int sharpness = 15;        // 0..31
    int phase = 16;            // 0..31
    int brilliantColor = 5;    // 0..10
    int zoom = 0;              // -5..25
    int brightness = 50;       // 0..100
    int contrast = 50;         // 0..100
    int imageShift = 0;        // -50..50
    int keystone = 0;          // -40..40
    int autoPowerOff = 0;      // 0..180
    int sleepTimer = 0;        // 0..999
    int closedCaption = 0;     // index 0..2: OFF, CC1, CC2
    int autoKeystone = 0;      // 1 on
    int threeD = 0;            // 1 on (the 3D flag of the control reply)
    int threeDSyncInvert = 0;  // 1 on; not reported
    std::string message;       // last on-screen message, up to 30 characters

    bool operator==(const ControlSettings&) const = default;
};

struct NetworkSettings {
    std::string mask = "255.255.255.0";
    std::string gateway = "127.0.0.1";
    std::string dns = "127.0.0.1";
    int dhcp = 0;  // 1 on

    bool operator==(const NetworkSettings&) const = default;
};

struct UserSettings {
    int adminAccess = 1;  // 1 ON, 0 OFF
    std::string adminPassword;
    int userAccess = 0;
    std::string userPassword;

    bool operator==(const UserSettings&) const = default;
};

struct AlertSettings {
    std::string mailTo;
    std::string mailCc;
    std::string mailSubject;
    std::string mailFrom;
    std::string smtpServer;
    std::string smtpUser;
    std::string smtpPassword;
    int fanLock = 0;
    int overTemperature = 0;
    int lampHours = 0;
    int lampFail = 0;
    int testMails = 0;  // how many "set=test" requests were carried out

    bool operator==(const AlertSettings&) const = default;
};

struct ProjectorState {
    std::string model = "6";  // one character, the code of the model reply
    int power = kPowerOn;     // kPowerOff, kPowerOn, kPowerStandby
    int lampHours = 100;      // 0..9999
    int source = 5;  // projector code: 0 None, 1 VGA-1, 2 VGA-2, 3 S-Video, 4 Video, 5 HDMI
    std::string firmware = "A100";  // four characters
    int displayMode = 1;            // code 1..9 (0 reported as None)
    std::string group;              // up to 32 characters
    std::string name;               // up to 32 characters
    ControlSettings control;
    NetworkSettings network;
    UserSettings user;
    AlertSettings alert;

    bool operator==(const ProjectorState&) const = default;
};

// Misbehaviour a projector shows on request. Topics are the query words ("info", "control", ...).
struct Faults {
    int replyDelayMs = 0;                 // wait this long before answering HTTP
    bool hang = false;                    // accept and read the request, never answer
    bool emptyReply = false;              // answer HTTP 200 with an empty body
    bool closeWithoutReply = false;       // read the request, then close the connection
    bool commandTimeout = false;          // every command= and set= answers the time-out text
    std::vector<std::string> garbage;     // topics whose replies are replaced by random bytes
    std::map<std::string, int> truncate;  // topic -> reply cut to this many characters
    bool silentDiscovery = false;         // never answer a discovery probe
    bool gone = false;                    // no sockets at all: refuses connections, no answers
    bool standbyDigit = false;            // the control reply reports standby as power digit 2

    bool operator==(const Faults&) const = default;
};

// Defaults a generated projector starts from, drawn from a seeded generator.
struct GeneratedIdentity {
    std::string mac;
    ProjectorState state;
};
GeneratedIdentity GenerateProjector(uint64_t seed, size_t index);

// "Reset all": puts the picture, geometry and general settings back to those of `startUp`
// (the state the projector started with), or to the defaults without one. Identity, power,
// source, network, accounts and the on-screen message stay.
void ResetSettings(ProjectorState& state, const ProjectorState* startUp = nullptr);

}  // namespace vistrel::sim
