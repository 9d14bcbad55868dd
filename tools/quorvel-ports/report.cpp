#include "report.h"

#include "chips.h"

#include <string>

namespace ports {

namespace {

std::string Com(const portinfo::Port& p) { return "COM" + std::to_string(p.number); }

// Listed, open to this user and held by no other program.
bool Openable(const portinfo::Port& p) { return p.number != 0 && p.mayOpen && p.holders.empty(); }

Rate RateOf(const portinfo::Port& p) {
    return RateFor(IdentifyChip(p.vendorId, p.productId, p.product, p.driver), p.driverRate,
                   p.driver, p.driverOnlyAccepted);
}

void Field(std::ostream& out, const char* name, const std::string& value) {
    out << "  " << name << std::string(12 - std::string(name).size(), ' ') << value << "\n";
}

std::string AccessText(const portinfo::Port& p) {
    if (p.mayOpen) return "yes";
    std::string text = "no (" + p.accessProblem + ")";
    if (!p.group.empty()) {
        text += p.inGroupNotYet ? ": you are in the group \"" + p.group +
                                      "\" but not in this login yet; log out and in again"
                                : ": join the group \"" + p.group + "\" (see below)";
    }
    return text;
}

std::string HoldersText(const portinfo::Port& p) {
    if (p.holders.empty())
        return p.holdersKnown ? "no other program"
                              : "no other program that you can see (other users' programs "
                                "are hidden from you)";
    std::string text;
    for (size_t i = 0; i < p.holders.size(); ++i)
        text += (i == 0 ? "" : ", ") + p.holders[i];
    return text + ": close it, or the two split the port's bytes";
}

void WritePort(std::ostream& out, const portinfo::Port& p) {
    out << Com(p) << "  " << p.friendlyName << "\n";
    Field(out, "device:", p.devicePath + (p.driver.empty() ? "" : ", driver " + p.driver));
    if (!p.vendorId.empty()) {
        Chip chip = IdentifyChip(p.vendorId, p.productId, p.product, p.driver);
        // A driver that asks the chip itself knows better than the product string.
        Rate rate = RateOf(p);
        bool belied = chip.rate == RateVerdict::Impossible &&
                      rate.verdict != RateVerdict::Impossible &&
                      rate.verdict != RateVerdict::Unknown;
        std::string note = belied ? "so its product string says; its driver, which asks the chip, "
                                    "reports " +
                                        std::to_string(p.driverRate) +
                                        " baud: another part under that name"
                                  : chip.note;
        Field(out, "USB:",
              p.vendorId + ":" + p.productId + ", " +
                  (chip.family.empty() ? "a chip this tool does not know" : chip.family) +
                  (note.empty() ? "" : " (" + note + ")"));
    } else {
        Chip chip = IdentifyChip("", "", p.product, p.driver);
        if (!chip.family.empty()) Field(out, "chip:", chip.family);
    }
    std::string rate = RateOf(p).text;
    if (p.driverRate == 0 && !p.driverProblem.empty())
        rate += " (the driver was not asked: " + p.driverProblem + ")";
    Field(out, "7680 baud:", rate);
    if (p.lookedAt) {
        Field(out, "access:", AccessText(p));
        Field(out, "held by:", HoldersText(p));
    } else {
        Field(out, "access:", "not looked at: the port was not opened");
        Field(out, "held by:", "not looked at: the port was not opened");
    }
    out << "  -> ";
    if (!Usable(p) && !Doubtful(p)) {
        out << "the dashboard cannot use it";
    } else if (Doubtful(p)) {
        out << "whether the dashboard can read through it is not known: the chip may not run "
               "7680 baud; try quorvel-ports --probe "
            << Com(p) << " with the lead on the car and the ignition on";
    } else if (!p.lookedAt) {
        out << "the dashboard can use it if it opens (not tried)";
    } else {
        out << "the dashboard can use it";
    }
    out << "\n\n";
}

} // namespace

bool Usable(const portinfo::Port& p) {
    const RateVerdict rate = RateOf(p).verdict;
    return Openable(p) && (rate == RateVerdict::Exact || rate == RateVerdict::Near);
}

bool Doubtful(const portinfo::Port& p) {
    return Openable(p) && RateOf(p).verdict == RateVerdict::Unknown;
}

int WriteListing(std::ostream& out, const std::vector<portinfo::Port>& ports,
                 const std::vector<portinfo::Finding>& findings) {
    int listed = 0;
    std::string usable;
    out << "Serial ports, as the dashboard lists them:\n\n";
    for (const portinfo::Port& p : ports) {
        if (p.number == 0) continue;
        ++listed;
        WritePort(out, p);
        if (Usable(p)) usable += (usable.empty() ? "" : ", ") + Com(p);
    }
    if (listed == 0) out << "  none: the dashboard would say it cannot find any serial port.\n\n";
    bool header = false;
    for (const portinfo::Port& p : ports) {
        if (p.number != 0) continue;
        if (!header) out << "Left out by the dashboard:\n";
        header = true;
        out << "  " << p.devicePath << ": " << p.skipped << "\n";
    }
    if (header) out << "\n";
    if (!findings.empty()) {
        out << "On this system:\n";
        for (const portinfo::Finding& f : findings)
            out << "  ! " << f.cause << "\n    fix: " << f.fix << "\n";
        out << "\n";
    }
    int count = 0;
    std::string doubtful;
    for (const portinfo::Port& p : ports) {
        count += Usable(p) ? 1 : 0;
        if (Doubtful(p) && doubtful.empty()) doubtful = Com(p);
    }
    if (count == 0 && !doubtful.empty()) {
        out << "No port the dashboard is sure to read through. Try quorvel-ports --probe "
            << doubtful << " with the lead on the car and the ignition on: the probe tells.\n";
    } else if (count == 0) {
        out << "No port the dashboard can use. ";
        if (listed > 0) {
            out << "See what each port says above.\n";
        } else if (!findings.empty()) {
            out << "Plug the lead in; if it does not appear, see above.\n";
        } else {
            out << portinfo::PlatformWords().noPortSeen << "\n";
        }
    } else {
        out << count << (count == 1 ? " port" : " ports") << " the dashboard can use: " << usable
            << ". Try quorvel-ports --probe " << usable.substr(0, usable.find(','))
            << " with the lead on the car and the ignition on.\n";
    }
    return count;
}

} // namespace ports
