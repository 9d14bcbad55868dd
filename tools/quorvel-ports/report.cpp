#include "report.h"

#include "chips.h"
#include "texts.h"
#include "tools/common/texts.h"

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
    if (p.mayOpen) return texts::Text(kTextAccessYes);
    if (p.group.empty()) return texts::Format(kTextAccessNo, p.accessProblem.c_str());
    if (!p.serialGroup)
        return texts::Format(kTextAccessOtherGroup, p.accessProblem.c_str(), p.group.c_str());
    return texts::Format(p.inGroupNotYet ? kTextAccessNotYetInLogin : kTextAccessJoinGroup,
                         p.accessProblem.c_str(), p.group.c_str());
}

std::string HoldersText(const portinfo::Port& p) {
    if (p.holders.empty())
        return texts::Text(p.holdersKnown ? kTextNoHolder : kTextNoHolderVisible);
    std::string text;
    for (size_t i = 0; i < p.holders.size(); ++i)
        text += (i == 0 ? "" : ", ") + p.holders[i];
    return texts::Format(kTextHolders, text.c_str());
}

void WritePort(std::ostream& out, const portinfo::Port& p, const std::string& command) {
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
        Field(out, "access:", texts::Text(kTextNotLookedAt));
        Field(out, "held by:", texts::Text(kTextNotLookedAt));
    }
    out << "  -> ";
    if (!Usable(p) && !Doubtful(p)) {
        out << texts::Text(kTextCannotUse);
    } else if (Doubtful(p)) {
        out << texts::Format(kTextNotKnownProbe, command.c_str(), Com(p).c_str());
    } else if (!p.lookedAt) {
        out << texts::Text(kTextCanUseIfItOpens);
    } else {
        out << texts::Text(kTextCanUse);
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
                 const std::vector<portinfo::Finding>& findings, const std::string& command) {
    int listed = 0;
    std::string usable;
    out << texts::Text(kTextListingHeading) << "\n\n";
    for (const portinfo::Port& p : ports) {
        if (p.number == 0) continue;
        ++listed;
        WritePort(out, p, command);
        if (Usable(p)) usable += (usable.empty() ? "" : ", ") + Com(p);
    }
    if (listed == 0) out << "  " << texts::Text(kTextNoPortListed) << "\n\n";
    bool header = false;
    for (const portinfo::Port& p : ports) {
        if (p.number != 0) continue;
        if (!header) out << texts::Text(kTextLeftOut) << "\n";
        header = true;
        out << "  " << p.devicePath << ": " << p.skipped << "\n";
    }
    if (header) out << "\n";
    if (!findings.empty()) {
        out << texts::Text(kTextOnThisSystem) << "\n";
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
        out << texts::Format(kTextNoSurePort, command.c_str(), doubtful.c_str()) << "\n";
    } else if (count == 0) {
        if (listed > 0) {
            out << texts::Text(kTextNoUsableSeeAbove) << "\n";
        } else if (!findings.empty()) {
            out << texts::Text(kTextNoUsablePlugIn) << "\n";
        } else {
            out << texts::Text(kTextNoUsable) << " "
                << texts::Format(portinfo::PlatformWords().noPortSeenText, command.c_str()) << "\n";
        }
    } else {
        const std::string first = usable.substr(0, usable.find(','));
        out << (count == 1
                    ? texts::Format(kTextOneUsable, usable.c_str(), command.c_str(), first.c_str())
                    : texts::Format(kTextSomeUsable, count, usable.c_str(), command.c_str(),
                                    first.c_str()))
            << "\n";
    }
    return count;
}

} // namespace ports
