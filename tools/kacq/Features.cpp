// kacq features/get/set: the camera feature tree over an emulated camera.
#include "Features.h"
#include "Common.h"

#include <inttypes.h>
#include <stdio.h>

#include <cmath>
#include <exception>
#include <memory>
#include <string>

#include "Session.h"
#include "emulator/Model.h"
#include "nodeapi/Interfaces.h"
#include "nodeapi/PropertyValue.h"
#include "nodeapi/Types.h"
#include "xcam/XCamInterface.h"

namespace KacqTool {

const char* const kFeaturesUsage = "kacq features [--model MODEL | --device ADDRESS [--port PORT]]";
const char* const kGetUsage = "kacq get NAME [--model MODEL | --device ADDRESS [--port PORT]]";
const char* const kSetUsage =
    "kacq set NAME VALUE [--model MODEL | --device ADDRESS [--port PORT]]";

namespace {

// Categories deeper than this are not followed (the tree has two levels).
constexpr int kMaxDepth = 16;

// Splits "--model M" off the arguments; the rest are positional.
bool ParseArgs(const std::vector<std::string>& args, const char* usage, size_t positional,
               std::vector<std::string>* values, const Emulator::ModelSpec** model, int* exitCode) {
    std::string key = Emulator::Models().front().key;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--model" && i + 1 < args.size()) {
            key = args[++i];
        } else if (args[i].compare(0, 2, "--") == 0 || values->size() == positional) {
            *exitCode = UsageError("unexpected argument '" + args[i] + "'", usage);
            return false;
        } else {
            values->push_back(args[i]);
        }
    }
    if (values->size() != positional) {
        *exitCode = UsageError("missing argument", usage);
        return false;
    }
    *model = Emulator::FindModel(key);
    if (*model == nullptr) {
        std::string known;
        for (const Emulator::ModelSpec& m : Emulator::Models())
            known += std::string(known.empty() ? "" : ", ") + m.key;
        *exitCode = UsageError("unknown model '" + key + "' (models: " + known + ")", usage);
        return false;
    }
    return true;
}

// The camera and its feature tree, for one command (see Session.h).
struct Session {
    explicit Session(const Emulator::ModelSpec& model)
        : camera(OpenSession(model)), features(camera->Features()) {}
    std::unique_ptr<CameraSession> camera;
    XCamInterface::CXCamInterface& features;
};

std::string Range(NodeApi::INode* node) {
    if (auto* i = dynamic_cast<NodeApi::IInteger*>(node)) {
        char text[96];
        const int64_t inc = i->GetInc();
        snprintf(text, sizeof text, "[%" PRId64 "..%" PRId64 "]", i->GetMin(), i->GetMax());
        std::string range = text;
        if (inc != 1) {
            snprintf(text, sizeof text, " step %" PRId64, inc);
            range += text;
        }
        return range;
    }
    if (auto* f = dynamic_cast<NodeApi::IFloat*>(node)) {
        char text[96];
        snprintf(text, sizeof text, "[%g..%g]", f->GetMin(), f->GetMax());
        return text;
    }
    if (auto* e = dynamic_cast<NodeApi::IEnumerationBase*>(node)) {
        NodeApi::StringList_t symbolics;
        e->GetSymbolics(symbolics);
        std::string list;
        for (const std::string& s : symbolics)
            list += (list.empty() ? "" : ", ") + s;
        return "{" + list + "}";
    }
    return std::string();
}

// The value as text: strings as their text up to the first zero byte (ROM
// leaves are padded with zeros), anything else as the node shows itself.
std::string ValueText(NodeApi::INode* node) {
    if (auto* s = dynamic_cast<NodeApi::IString*>(node)) {
        const std::string text = s->GetValue();
        return text.substr(0, text.find('\0'));
    }
    return node->ToString();
}

// One line per node; a failure reading a feature is shown in its line and
// counted, the walk goes on.
void PrintNode(NodeApi::CNodeMap& map, NodeApi::INode* node, int depth, int* failures) {
    std::string line(static_cast<size_t>(depth) * 2, ' ');
    line += node->GetName();
    const std::string display = node->GetDisplayName();
    if (display != node->GetName())
        line += " \"" + display + "\"";
    const std::vector<std::string> members = CategoryMembers(node->GetName());
    const bool category = !members.empty();
    if (!category) {
        try {
            const NodeApi::EAccessMode mode = node->GetAccessMode();
            line += " = ";
            line += mode == NodeApi::RW || mode == NodeApi::RO ? ValueText(node) : "-";
            line += std::string(" (") + NodeApi::AccessModeText(mode) + ")";
            if (mode == NodeApi::RW || mode == NodeApi::RO) {
                const std::string range = Range(node);
                if (!range.empty())
                    line += " " + range;
            }
        } catch (const std::exception& e) {
            line += std::string(" ! ") + e.what();
            ++*failures;
        }
    }
    printf("%s\n", line.c_str());
    if (!category || depth >= kMaxDepth)
        return;
    for (const std::string& member : members) {
        if (NodeApi::INode* child = map.GetNode(member))
            PrintNode(map, child, depth + 1, failures);
    }
}

NodeApi::INode* FindFeature(Session& session, const std::string& name) {
    NodeApi::INode* node = session.features.GetNodeMap().GetNode(name);
    if (node == nullptr)
        fprintf(stderr, "kacq: the camera has no feature named '%s'\n", name.c_str());
    return node;
}

// Why a feature cannot be read (or written) now; null when it can.
const char* Unavailable(NodeApi::EAccessMode mode, bool write) {
    switch (mode) {
    case NodeApi::NP:
        return "not available (NP)";
    case NodeApi::NE:
        return "not available (NE)";
    case NodeApi::RO:
        return write ? "read-only (RO)" : nullptr;
    case NodeApi::WO:
        return write ? nullptr : "write-only (WO)";
    default:
        return nullptr;
    }
}

bool IsDigits(const std::string& text, size_t from, bool hex) {
    if (from >= text.size())
        return false;
    for (size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        const bool hexLetter = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!digit && !(hex && hexLetter))
            return false;
    }
    return true;
}

// A whole integer: optional sign, then decimal digits or "0x" and hexadecimal
// digits, nothing else (the framework would take "320abc" as 320).
bool IsWholeInteger(const std::string& text) {
    const size_t start = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (text.compare(start, 2, "0x") == 0 || text.compare(start, 2, "0X") == 0)
        return IsDigits(text, start + 2, true);
    return IsDigits(text, start, false);
}

// A whole decimal number: [sign] digits [. digits] [e [sign] digits], with
// at least one digit before or after the point, nothing else.
bool IsWholeNumber(const std::string& text) {
    size_t pos = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    size_t digits = 0;
    auto skipDigits = [&] {
        size_t n = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            ++pos;
            ++n;
        }
        return n;
    };
    digits += skipDigits();
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        digits += skipDigits();
    }
    if (digits == 0)
        return false;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
            ++pos;
        if (skipDigits() == 0)
            return false;
    }
    return pos == text.size();
}

// What the command line takes for a feature, when stricter than the
// framework's own lenient conversion: "" when the text is acceptable, else
// what the feature takes.
std::string RefusedText(NodeApi::INode* node, const std::string& text) {
    if (dynamic_cast<NodeApi::IInteger*>(node) != nullptr)
        return IsWholeInteger(text) ? "" : "a whole number";
    if (dynamic_cast<NodeApi::IFloat*>(node) != nullptr)
        return IsWholeNumber(text) ? "" : "a number";
    if (dynamic_cast<NodeApi::IBoolean*>(node) != nullptr)
        return text == "0" || text == "1" || text == "true" || text == "false"
                   ? ""
                   : "true, false, 1 or 0";
    return "";
}

// Whether the value read back is the value asked for: numbers compared as
// numbers (floats to the precision a float holds), anything else as text.
bool SameValue(NodeApi::INode* node, const std::string& asked, const std::string& readBack) {
    if (auto* i = dynamic_cast<NodeApi::IInteger*>(node)) {
        int64_t value = 0;
        return NodeApi::ParseInt64(asked, value) && value == i->GetValue();
    }
    if (auto* f = dynamic_cast<NodeApi::IFloat*>(node)) {
        float value = 0;
        const double now = f->GetValue();
        return NodeApi::ParseFloat(asked, value) &&
               std::fabs(now - value) <= 1e-6 * std::fmax(1.0, std::fabs(now));
    }
    return asked == readBack;
}

template <class F>
int Guarded(F body) {
    try {
        return body();
    } catch (const std::exception& e) {
        fprintf(stderr, "kacq: %s\n", e.what());
        return kExitFailed;
    }
}

} // namespace

int RunFeatures(const std::vector<std::string>& args) {
    std::vector<std::string> values;
    const Emulator::ModelSpec* model = nullptr;
    int exitCode = kExitOk;
    if (!ParseArgs(args, kFeaturesUsage, 0, &values, &model, &exitCode))
        return exitCode;
    return Guarded([&] {
        Session session(*model);
        int failures = 0;
        XCamInterface::CXCamNodeMap& map = session.features.GetNodeMap();
        PrintNode(map, map.GetNode("Root"), 0, &failures);
        return failures == 0 ? kExitOk : kExitFailed;
    });
}

int RunGet(const std::vector<std::string>& args) {
    std::vector<std::string> values;
    const Emulator::ModelSpec* model = nullptr;
    int exitCode = kExitOk;
    if (!ParseArgs(args, kGetUsage, 1, &values, &model, &exitCode))
        return exitCode;
    return Guarded([&] {
        Session session(*model);
        NodeApi::INode* node = FindFeature(session, values[0]);
        if (node == nullptr)
            return kExitFailed;
        if (const char* why = Unavailable(node->GetAccessMode(), false)) {
            fprintf(stderr, "kacq: %s is %s\n", values[0].c_str(), why);
            return kExitFailed;
        }
        printf("%s\n", ValueText(node).c_str());
        return kExitOk;
    });
}

int RunSet(const std::vector<std::string>& args) {
    std::vector<std::string> values;
    const Emulator::ModelSpec* model = nullptr;
    int exitCode = kExitOk;
    if (!ParseArgs(args, kSetUsage, 2, &values, &model, &exitCode))
        return exitCode;
    return Guarded([&] {
        Session session(*model);
        const std::string& name = values[0];
        const std::string& asked = values[1];
        NodeApi::INode* node = FindFeature(session, name);
        if (node == nullptr)
            return kExitFailed;
        const NodeApi::EAccessMode mode = node->GetAccessMode();
        if (const char* why = Unavailable(mode, true)) {
            fprintf(stderr, "kacq: %s is %s\n", name.c_str(), why);
            return kExitFailed;
        }
        const std::string takes = RefusedText(node, asked);
        if (!takes.empty()) {
            fprintf(stderr, "kacq: %s takes %s, not '%s'\n", name.c_str(), takes.c_str(),
                    asked.c_str());
            return kExitFailed;
        }
        if (mode == NodeApi::WO) {
            node->FromString(asked);
            printf("%s = %s (written, cannot be read back)\n", name.c_str(), asked.c_str());
            return kExitOk;
        }
        const std::string before = ValueText(node);
        node->FromString(asked);
        // What the camera holds now, read back through the tree.
        const std::string now = ValueText(node);
        printf("%s = %s\n", name.c_str(), now.c_str());
        if (SameValue(node, asked, now))
            return kExitOk;
        std::string range = Range(node);
        range = range.empty() ? "" : " (values " + range + ")";
        // A command bit clears itself once done: reading back something else
        // after a write is no refusal there.
        if (dynamic_cast<NodeApi::IBoolean*>(node) != nullptr) {
            fprintf(stderr, "kacq: %s reads %s after %s was written\n", name.c_str(), now.c_str(),
                    asked.c_str());
            return kExitOk;
        }
        if (now == before) {
            fprintf(stderr, "kacq: %s: the camera kept %s, not %s%s\n", name.c_str(), now.c_str(),
                    asked.c_str(), range.c_str());
            return kExitFailed;
        }
        fprintf(stderr, "kacq: %s: the camera adjusted %s to %s%s\n", name.c_str(), asked.c_str(),
                now.c_str(), range.c_str());
        return kExitOk;
    });
}

} // namespace KacqTool
