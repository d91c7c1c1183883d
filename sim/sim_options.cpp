#include "sim/sim_options.h"

#include <charconv>
#include <cstdlib>

#include "sim/virtual_port.h"

namespace korvane::sim {
namespace {

bool ParseUnsigned(const std::string& text, uint32_t& value) {
    if (text.empty()) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string UnescapeLineBreaks(const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == 'r' || next == 'n' || next == '\\') {
                plain += next == 'r' ? '\r' : next == 'n' ? '\n' : '\\';
                ++i;
                continue;
            }
        }
        plain += text[i];
    }
    return plain;
}

std::string SimUsage() {
    return R"(Usage: korvane-sim [options]
Simulated QV41C terminals on pseudo-terminals, published as virtual ports DIR/COM<n>
(with the description in DIR/COM<n>.desc) for the tool to find with KORVANE_VIRTUAL_PORTS=DIR.

  --ports DIR               folder of the virtual ports (default: $KORVANE_VIRTUAL_PORTS)
  --wine-prefix PREFIX      also link PREFIX/dosdevices/com<n> to each terminal while it is
                            plugged in, for Windows programs run under Wine (WINEPREFIX=PREFIX)
  --count N                 number of terminals (default 1)
  --first-port N            port number of the first terminal (default 1)
  --plug-every MS           plug the terminals in one after another, MS apart (default: all at once)
  --mode app|loader         what the terminals run when plugged in (default app)
  --tusn TEXT               TUSN of every terminal (default "0000500141K01" + port number in 7 digits)
  --desc TEXT               port description (default "Unisoc Usb Serial Port 0")
  --version-text TEXT       answer to command 5; \r and \n stand for CR and LF
                            (default "QV41C\r\nLOADER\r\nQV41C_LD_V1.0.0\r\n")
  --erase-answer TEXT       first answer to an erase; "" gives a single answer (default "Equal size")
  --secure-boot disabled|enabled   what command 33 reports (default disabled)
  --key FILE                key pair whose public half checks signatures (default keyPair.bin)
  --module FILE             judge signatures with this signing module's "verify" instead of the
                            terminal's own ECDSA check
  --no-verify               do not check packet signatures
  --baud N                  pace bytes at N baud, 8N1, both directions (default: no pacing)
  --fault RULE              inject a fault (repeatable), see below
  --out DIR                 write events.jsonl, and per terminal COM<n>/record.jsonl and the stored
                            images, logo, audio and files when it finishes
  --unplug-after-finish MS  unplug each terminal MS after it finished
  --idle-finish MS          quiet time that finishes a terminal (default 8000)
  --keep-running            do not exit when every terminal has finished
  --help                    this text

A terminal is finished when it answered "CHECK SP", answered a reset (command 25), was unplugged
by a fault, or has been quiet for the idle time after it received anything (and no answer of it is
still on its way out). The program exits a second after every terminal is finished (after the unplug
delay, if given), or on SIGINT/SIGTERM; it then unplugs every terminal and removes its links.

Fault RULE: [port=N:]KIND[=VALUE][:SELECTOR]...
  KIND   silent               no answer to the selected packets or texts (everything, without selector)
         delay=MS             each selected answer leaves MS milliseconds late
         noise[=N]            N noise bytes (default 16) before the opening flag of each selected answer
         cut                  half of the selected answer is sent, then the terminal stays quiet
         app-running          status 0 with "APP is Running" (default: the image data packets)
         remote-error[=TEXT]  status 0 with TEXT (default "injected error")
         unplug-at            the terminal is unplugged when the selected packet or text arrives
         pace=BAUD            pace this terminal at BAUD
  SELECTOR  cmd=C             packets of command C (app-running with cmd=0: the image data packets)
            nth=K             with cmd=: only the K-th packet of that command
            packet=K          the K-th packet since the terminal was plugged in (loader packets, from 1)
            text=WORD         the plain-text command beginning with WORD: READ, GOTO or CHECK
  port=N limits the fault to COM<N>. Examples:
    --fault port=3:silent   --fault remote-error:cmd=35   --fault unplug-at:packet=40
    --fault app-running:cmd=1   --fault delay=2000:cmd=5   --fault port=2:cut:cmd=0:nth=3
)";
}

bool ParseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error) {
    options = SimOptions{};
    options.ports_dir = VirtualPortsFromEnvironment();
    options.description = kDefaultPortDescription;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        auto number = [&](uint32_t& out, uint32_t low, uint32_t high) {
            std::string text;
            if (!value(text)) {
                return false;
            }
            if (!ParseUnsigned(text, out) || out < low || out > high) {
                error = name + " takes a number from " + std::to_string(low) + " to " + std::to_string(high);
                return false;
            }
            return true;
        };
        std::string text;
        uint32_t n = 0;
        bool ok = true;
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--ports") {
            ok = value(options.ports_dir);
        } else if (name == "--wine-prefix") {
            ok = value(options.wine_prefix);
        } else if (name == "--count") {
            ok = number(n, 1, 256);
            options.count = static_cast<int>(n);
        } else if (name == "--first-port") {
            ok = number(n, 1, 9999);
            options.first_port = static_cast<int>(n);
        } else if (name == "--plug-every") {
            ok = number(options.plug_every_ms, 0, 3600000);
        } else if (name == "--mode") {
            ok = value(text);
            if (ok && text != "app" && text != "loader") {
                error = "--mode takes app or loader";
                ok = false;
            }
            options.mode = text == "loader" ? TerminalMode::kLoader : TerminalMode::kApplication;
        } else if (name == "--tusn") {
            ok = value(text);
            options.tusn = text;
        } else if (name == "--desc") {
            ok = value(options.description);
        } else if (name == "--version-text") {
            ok = value(text);
            options.version_text = UnescapeLineBreaks(text);
        } else if (name == "--erase-answer") {
            ok = value(text);
            options.erase_answer = text;
        } else if (name == "--secure-boot") {
            ok = value(text);
            if (ok && text != "disabled" && text != "enabled") {
                error = "--secure-boot takes disabled or enabled";
                ok = false;
            }
            options.secure_boot_disabled = text != "enabled";
        } else if (name == "--key") {
            ok = value(options.key_file);
        } else if (name == "--module") {
            ok = value(options.module_path);
        } else if (name == "--no-verify") {
            options.verify = false;
        } else if (name == "--baud") {
            ok = number(options.baud, 0, 4000000);
        } else if (name == "--fault") {
            FaultRule rule;
            ok = value(text);
            if (ok && !ParseFaultRule(text, rule, error)) {
                error = "--fault " + text + ": " + error;
                ok = false;
            }
            options.faults.push_back(rule);
        } else if (name == "--out") {
            ok = value(options.out_dir);
        } else if (name == "--unplug-after-finish") {
            ok = number(n, 0, 3600000);
            options.unplug_after_finish_ms = n;
        } else if (name == "--idle-finish") {
            ok = number(options.idle_finish_ms, 1, 3600000);
        } else if (name == "--keep-running") {
            options.keep_running = true;
        } else {
            error = "unknown option " + name;
            ok = false;
        }
        if (!ok) {
            return false;
        }
    }
    if (!options.help && options.ports_dir.empty()) {
        error = "no folder for the ports: give --ports DIR or set KORVANE_VIRTUAL_PORTS";
        return false;
    }
    return true;
}

}  // namespace korvane::sim
