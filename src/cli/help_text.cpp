#include "cli/help_text.h"

namespace vistrel::cli {

std::string_view ShortUsage() {
    return "usage: vistrel-cli COMMAND [OPTIONS]\n"
           "commands: discover, status, power, source, group set, query, send,\n"
           "          schedule list, schedule set, run-schedules\n"
           "\"vistrel-cli --help\" explains each with examples.\n";
}

std::string_view HelpText() {
    return R"HELP(vistrel-cli - the projector console's jobs from a shell

usage: vistrel-cli COMMAND [ARGUMENTS] [OPTIONS]

Projectors are addressed by IPv4 address. Commands that address several projectors
send to all of them at once and report each one's result.

COMMANDS
  discover [--wait SECONDS]
      Broadcast a discovery probe and list the MAC and address of every projector that
      answers within SECONDS (default 2).
  status [IP...]
      Query the given projectors (or every projector that answers discovery) and list MAC,
      IP, group, name, power, source, lamp hours, display mode and firmware. Projectors
      that do not answer are listed as unreachable.
  power on|off IP... [--wait SECONDS]
      Switch projectors on or off. With --wait, keep asking each projector for its power
      state until it reports the requested one (off also accepts standby) or SECONDS pass,
      and report which did not get there.
  source LABEL IP...
      Select an input source: None, HDMI, VGA-1, VGA-2, S-Video, Video.
  group set GROUP [--name NAME] IP...
      Move projectors into GROUP ("" takes them out of every group) and add GROUP to the
      console's group list. The projector keeps its name unless --name gives a new one.
      Names are at most 32 bytes; a group name cannot contain a backslash.
  query TOPIC IP
      Print a projector's raw reply to a query: info, group, model, control, network,
      user or alert.
  send BODY IP
      Post a raw request body to a projector and print its raw reply.
  schedule list [--projector MAC | --group NAME]
      List the stored power tasks (all projectors and groups, or one).
  schedule set (--projector MAC... | --group NAME [--projector MAC...]) --task N
               [--enable | --disable] [--period once|daily|weekly|monthly]
               [--time HH:MM[:SS]] [--date YYYY-MM-DD] [--command on|off]
      Change task N (1 to 4). Unchanged fields keep their stored values; the next due
      moment is the date at the time, local time. With --group the group's task is
      written and copied to each --projector, as the console's group settings do.
  run-schedules
      Run headless: discover projectors on the console's refresh interval and fire their
      due tasks, until interrupted (Ctrl-C, SIGTERM). Only one program fires tasks for a
      store at a time: if the console window or another run-schedules already does, this
      one says so, waits, and takes over when that one ends. A console window that opens
      meanwhile gets the role and the discovery port until it closes.

OPTIONS
  --json, --csv           Print listings as JSON or CSV instead of an aligned table.
  --timeout MS            Time limit of one projector exchange (default 8000).
  --broadcast ADDR        Discovery broadcast address (default 255.255.255.255).
  --bind ADDR             Local address of the discovery socket (default 0.0.0.0).
  --discovery-port N      Discovery UDP port (default 250).
  --http-port N           Projector web-control port (default 80).
  --app-name NAME         Application key of the store: the console executable's name
                          (default vistrel). Use it for a renamed console.
  --store FILE            Store file (default $XDG_CONFIG_HOME/Brightwerk/registry.reg,
                          or ~/.config/Brightwerk/registry.reg).
  -h, --help              This text.
  --version               Print the version.

EXIT STATUS
  0  every projector succeeded
  1  some projector failed (unreachable, time-out, unexpected reply, not reached)
  2  usage error, or the environment stops the command (discovery port unavailable,
     store unusable); the reason and the remedy are printed on standard error

Discovery uses UDP port 250, which needs root or the CAP_NET_BIND_SERVICE capability:
  sudo setcap cap_net_bind_service=+ep "$(command -v vistrel-cli)"

EXAMPLES
  vistrel-cli discover --wait 3
  vistrel-cli status --csv > fleet.csv
  vistrel-cli status 192.168.1.20 192.168.1.21
  vistrel-cli power off 192.168.1.20 192.168.1.21 --wait 60
  vistrel-cli source HDMI 192.168.1.20
  vistrel-cli group set "Lecture Hall" --name "Left" 192.168.1.20
  vistrel-cli query info 192.168.1.20
  vistrel-cli send "command=~0000 1" 192.168.1.20
  vistrel-cli schedule list --json
  vistrel-cli schedule set --projector 00A0B1C2D3E4 --task 1 --enable --period daily \
      --time 22:00 --date 2026-01-05 --command off
  vistrel-cli run-schedules
  vistrel-cli status --broadcast 127.255.255.255 --discovery-port 5250 --http-port 8080
)HELP";
}

}  // namespace vistrel::cli
