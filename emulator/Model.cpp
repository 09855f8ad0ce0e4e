// Data of the built-in camera models.
#include "emulator/Model.h"

namespace Emulator {

namespace {

// TRIGGER_INQ bits (LSB-0).
constexpr uint32_t kTrigPresence = 0x80000000, kTrigReadOut = 0x08000000, kTrigOnOff = 0x04000000,
                   kTrigPolarity = 0x02000000, kTrigValueRead = 0x01000000,
                   kTrigSource0 = 0x00800000, kTrigSource1 = 0x00400000, kTrigSoftware = 0x00010000,
                   kTrigMode0 = 0x00008000, kTrigMode1 = 0x00004000;

std::vector<ModelSpec> BuildModels() {
    ModelSpec vga;
    vga.key = "vga-mono";
    vga.vendorName = "Emulated Optics";
    vga.modelName = "EMU-V120M";
    vga.eui64 = 0xACDE480000010001ull; // ACDE48: IEEE example company ID
    // clang-format off
    //         max W/H    unit W/H  pos W/H  packet unit/max  fps
    vga.modes = {{640, 480, 8, 2, 4, 2, 256, 8192, 120.0},
                 {320, 240, 8, 2, 4, 2, 256, 8192, 240.0}};
    // clang-format on
    vga.colorCodings = CodingBit(kMono8) | CodingBit(kMono16);
    vga.resetColorCoding = kMono8;
    vga.depth16 = 12;
    vga.colorFilter = 0;
    //             present min max reset
    vga.brightness = {true, 0, 255, 16};
    vga.shutter = {true, 1, 4095, 100};
    vga.gain = {true, 0, 680, 0};
    vga.whiteBalance = {false, 0, 0, 0};
    vga.shutterUnit = 20e-6;
    vga.triggerInq = kTrigPresence | kTrigReadOut | kTrigOnOff | kTrigPolarity | kTrigValueRead |
                     kTrigSource0 | kTrigSoftware | kTrigMode0 | kTrigMode1;
    vga.memoryChannels = 2;
    vga.strobes = 4;
    vga.cpuTemperature = 45;
    vga.boardTemperature = 38;
    vga.versionText = "EMU-V120M fw 1.4.2 fpga 0x0107";

    ModelSpec bayer;
    bayer.key = "2mp-bayer";
    bayer.vendorName = "Emulated Optics";
    bayer.modelName = "EMU-2M30C";
    bayer.eui64 = 0xACDE480000020001ull;
    // clang-format off
    bayer.modes = {{1600, 1200, 16, 2, 2, 2, 1024, 8192, 30.0},
                   {800, 600, 16, 2, 2, 2, 1024, 8192, 60.0}};
    // clang-format on
    bayer.colorCodings = CodingBit(kMono8) | CodingBit(kRaw8) | CodingBit(kRaw16);
    bayer.resetColorCoding = kRaw16;
    bayer.depth16 = 12;
    bayer.colorFilter = 0;
    bayer.brightness = {true, 0, 1023, 64};
    bayer.shutter = {true, 1, 4095, 500};
    bayer.gain = {true, 0, 511, 0};
    bayer.whiteBalance = {true, 0, 1023, 512};
    bayer.shutterUnit = 20e-6;
    // No polarity setting and no readable trigger input: the trigger polarity
    // feature is absent on this model.
    bayer.triggerInq = kTrigPresence | kTrigReadOut | kTrigOnOff | kTrigSource0 | kTrigSource1 |
                       kTrigSoftware | kTrigMode0 | kTrigMode1;
    bayer.memoryChannels = 3;
    bayer.strobes = 2;
    bayer.cpuTemperature = 52;
    bayer.boardTemperature = 41;
    bayer.versionText = "EMU-2M30C fw 2.0.7 fpga 0x0203";

    return {vga, bayer};
}

} // namespace

const std::vector<ModelSpec>& Models() {
    static const std::vector<ModelSpec> models = BuildModels();
    return models;
}

const ModelSpec* FindModel(const std::string& key) {
    for (const ModelSpec& m : Models()) {
        if (key == m.key) {
            return &m;
        }
    }
    return nullptr;
}

} // namespace Emulator
