// Fuzz target: arbitrary text handed to FromString of every node of the
// camera feature tree, on each emulated camera model, as a host or `kacq set`
// would hand it over. Each call either takes the value or raises a framework
// exception; a refused call leaves the camera's registers, and the value of a
// node that holds its own, exactly as they were. Every input starts from
// freshly built cameras, so a finding reproduces from its input alone.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "emulator/Model.h"
#include "emulator/RegisterSpace.h"
#include "nodeapi/Exceptions.h"
#include "nodeapi/Interfaces.h"
#include "support/emulated/EmulatorPort.h"
#include "xcam/XCamInterface.h"

namespace {

using Registers = std::vector<Emulator::Register>;

// The first register whose value differs, other than `ignored` ones, or null.
const char* ChangedRegister(const Registers& a, const Registers& b,
                            const std::set<uint64_t>& ignored) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i].address != b[i].address)
            return "(register order)";
        if (a[i].value != b[i].value && ignored.count(a[i].address) == 0)
            return a[i].name;
    }
    return a.size() == b.size() ? nullptr : "(register count)";
}

// The node's value as text, or a marker where it cannot be read.
std::string ValueOf(NodeApi::INode* node) {
    try {
        return node->ToString();
    } catch (const NodeApi::GenericException&) {
        return "<unreadable>";
    }
}

// A node that links to no other node keeps its value itself; any other node
// keeps it in the nodes below, down to the camera's registers.
bool HoldsItsOwnValue(NodeApi::INode* node) {
    NodeApi::NodeList_t children;
    node->GetChildren(children);
    return children.empty();
}

// An emulated camera with its feature tree, opened.
struct Rig {
    explicit Rig(const Emulator::ModelSpec& model)
        : camera(model), features(&camera.cameraPort, &camera.grabberPort) {
        camera.Open();
    }
    Emulator::EmulatedCamera camera;
    XCamInterface::CXCamInterface features;
};

std::vector<NodeApi::INode*> NodesOf(Rig& rig) {
    std::vector<NodeApi::INodeConstruct*> constructs;
    rig.features.GetNodeMap().GetNodes(constructs);
    std::vector<NodeApi::INode*> nodes;
    for (NodeApi::INodeConstruct* construct : constructs) {
        if (auto* node = dynamic_cast<NodeApi::INode*>(construct))
            nodes.push_back(node);
    }
    return nodes;
}

// The registers that reading the tree writes: a smart feature's address and
// presence are asked for by writing its identifier to an inquiry register,
// and a refused write asks for them too. Found once per model by reading every
// node of a fresh camera.
const std::set<uint64_t>& WrittenByReading(const Emulator::ModelSpec& model) {
    static std::map<std::string, std::set<uint64_t>> found;
    auto known = found.find(model.key);
    if (known != found.end())
        return known->second;
    Rig rig(model);
    const Registers before = rig.camera.space.Snapshot();
    for (NodeApi::INode* node : NodesOf(rig)) {
        try {
            node->GetAccessMode();
        } catch (const NodeApi::GenericException&) {
        }
        ValueOf(node);
    }
    const Registers after = rig.camera.space.Snapshot();
    std::set<uint64_t>& written = found[model.key];
    for (size_t i = 0; i < before.size() && i < after.size(); ++i) {
        if (before[i].value != after[i].value)
            written.insert(before[i].address);
    }
    return written;
}

[[noreturn]] void Fail(const char* model, const std::string& node, const char* what) {
    std::fprintf(stderr, "fromstring_fuzz: %s, node %s: %s\n", model, node.c_str(), what);
    std::abort();
}

void SendToEveryNode(const Emulator::ModelSpec& model, const std::string& text) {
    const std::set<uint64_t>& handshakes = WrittenByReading(model);
    Rig rig(model);
    Emulator::EmulatedCamera& camera = rig.camera;
    // The registers as they were after the last write; taken again only when
    // something was written, since nothing else changes them.
    Registers registers = camera.space.Snapshot();
    uint64_t writes = camera.cameraPort.WriteCount();
    for (NodeApi::INode* node : NodesOf(rig)) {
        const std::string name = node->GetName();
        const bool own = HoldsItsOwnValue(node);
        const std::string value = own ? ValueOf(node) : std::string();
        if (camera.cameraPort.WriteCount() != writes) {
            registers = camera.space.Snapshot();
            writes = camera.cameraPort.WriteCount();
        }
        bool taken = false;
        try {
            node->FromString(text);
            taken = true;
        } catch (const NodeApi::GenericException&) {
        } catch (...) {
            Fail(model.key, name, "raised something other than a framework exception");
        }
        if (camera.cameraPort.WriteCount() != writes) {
            Registers now = camera.space.Snapshot();
            if (const char* changed =
                    taken ? nullptr : ChangedRegister(registers, now, handshakes)) {
                const std::string what = std::string("a refused value changed register ") + changed;
                Fail(model.key, name, what.c_str());
            }
            registers = std::move(now);
            writes = camera.cameraPort.WriteCount();
        }
        if (!taken && own && ValueOf(node) != value)
            Fail(model.key, name, "a refused value changed the node's value");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const Emulator::ModelSpec& model : Emulator::Models())
        SendToEveryNode(model, text);
    return 0;
}
