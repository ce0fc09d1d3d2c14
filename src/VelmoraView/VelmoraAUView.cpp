// VelmoraAUView: the layout of the panel.
#include "VelmoraView/VelmoraAUView.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "Quib/QuibKnob.h"
#include "Quib/QuibMoreImages.h"
#include "Quib/QuibPane.h"
#include "VelmoraView/VelmoraFormatters.h"

VelmoraAUView::~VelmoraAUView() = default;

AUVParameter VelmoraAUView::parameter(int id) {
    return AUVParameter(GetEditAudioUnit(), AudioUnitParameterID(id), kAudioUnitScope_Global, 0);
}

void VelmoraAUView::knob(int param, int x, int y) {
    AUVParameter p = parameter(param);
    eRect r(x, y, 48, 48);
    backPane->addCtrl(std::make_unique<QuibKnob>(gui.get(), p, &r, kQuib_res_100, knobImage, knobBackImage));
}

void VelmoraAUView::display(int param, QuibResolution resolution, QuibTexter text, int x, int y, int width) {
    AUVParameter p = parameter(param);
    eRect r(x, y, width, 20);
    auto d = std::make_unique<QuibDisplay>(gui.get(), p, &r, resolution, text, nullptr, displaySmallImage);
    d->shrinkForeBounds(3, 3, 3, 6);
    backPane->addCtrl(std::move(d));
}

void VelmoraAUView::stepButton(int param, QuibBottonMode mode, int x, int y) {
    AUVParameter p = parameter(param);
    eRect r(x, y, 18, 18);
    backPane->addCtrl(std::make_unique<QuibButton>(gui.get(), p, &r, mode == kDecButton ? minusImage : plusImage,
                                                   buttonBackImage, mode));
}

void VelmoraAUView::switchEr(int param, int width, QuibTexter text, int x, int y) {
    stepButton(param, kDecButton, x, y);
    display(param, kQuib_res_1, text, x + 18, y, width);
    stepButton(param, kIncButton, x + width + 18, y);
}

void VelmoraAUView::modSection(int main, int source, int depth, QuibTexter mainText, QuibTexter sourceText,
                               QuibTexter depthText, int x, int y) {
    knob(main, x, y);
    knob(depth, x + 58, y + 43);
    display(source, kQuib_res_1, sourceText, x, y + 51, 56);
    display(main, kQuib_res_100, mainText, x + 54, y + 3, 56);
    display(depth, kQuib_res_100, depthText, x + 54, y + 23, 56);
    stepButton(source, kDecButton, x + 18, y + 72);
    stepButton(source, kIncButton, x + 36, y + 72);
}

void VelmoraAUView::knobRow(int first, int count, int x, int y) {
    for (int i = 0; i < count; ++i) knob(first + i, x + 50 * i, y);
}

void VelmoraAUView::lfoSection(int wave, QuibTexter waveText, QuibTexter volSourceText, QuibTexter speedSourceText,
                               int x, int y) {
    switchEr(wave, 56, waveText, x, y);
    switchEr(wave + 6, 56, volSourceText, x + 100, y);
    switchEr(wave + 4, 56, speedSourceText, x + 148, y + 50);
    knob(wave + 2, x, y + 22);
    knob(wave + 3, x + 50, y + 22);
    knob(wave + 5, x + 100, y + 22);
    knob(wave + 7, x + 194, y);
}

OSStatus VelmoraAUView::CreateUI(Float32 xoffset, Float32 yoffset) {
    const auto x = UInt32(xoffset), y = UInt32(yoffset);
    gui = std::make_unique<QuibMan>(this, x, y);
    gui->initialize();
    // The player's choice for every panel of the process; never part of a sound.
    const char* knobMode = std::getenv("VELMORA_KNOB_MODE");
    gui->setLinearKnobs(knobMode && std::strcmp(knobMode, "linear") == 0);

    // In this order: the routing display finds its pictures by walking the list.
    auto add = [this](auto picture) {
        auto* added = picture.get();
        gui->addImage(std::move(picture));
        return added;
    };
    QuibGraphic* background = add(std::make_unique<QuibGraphic>("tarv_back.png"));
    knobImage = add(std::make_unique<QuibSpinImage>("knob.png", -0.375f, 0.375f, 0, 0, false));
    knobBackImage = add(std::make_unique<QuibGraphic>("knob_back.png"));
    QuibGraphic* displayBig = add(std::make_unique<QuibGraphic>("display_big.png"));
    displaySmallImage = add(std::make_unique<QuibGraphic>("display_small.png"));
    QuibGraphic* routing0 = add(std::make_unique<QuibGraphic>("routing0.png"));
    for (int i = 1; i <= 8; ++i) add(std::make_unique<QuibGraphic>(("routing" + std::to_string(i) + ".png").c_str()));
    plusImage = add(std::make_unique<QuibGraphic>("button_plus.png"));
    minusImage = add(std::make_unique<QuibGraphic>("button_minus.png"));
    buttonBackImage = add(std::make_unique<QuibGraphic>("button_back.png"));
    QuibGraphic* led = add(std::make_unique<QuibGraphic>("miniled.png", 2));

    eRect paneRect(0, 0, background->getWidth(), background->getHeight());
    backPane = static_cast<QuibPane*>(gui->addCtrl(std::make_unique<QuibPane>(gui.get(), &paneRect, background)));

    knob(0, 23, 14);  // Volume
    {
        AUVParameter routing = parameter(1);
        eRect r(169, 18, 100, 46);
        backPane->addCtrl(std::make_unique<QuibDisplay>(gui.get(), routing, &r, kQuib_res_1, routing0, displayBig));
    }
    stepButton(1, kDecButton, 133, 19);
    stepButton(1, kIncButton, 151, 19);
    auto ledPair = [&](int param, int x0, int y0) {
        for (UInt32 on : {0u, 1u}) {
            AUVParameter p = parameter(param);
            eRect r(x0, y0 + 11 * int(on), 8, 8);
            auto b = std::make_unique<QuibButton>(gui.get(), p, &r, led, nullptr, kRadioButton);
            b->setOnValue(on);
            backPane->addCtrl(std::move(b));
        }
    };
    ledPair(94, 600, 554);  // MultiA mode
    ledPair(97, 723, 554);  // MultiB mode
    knob(4, 695, 14);       // Glide
    switchEr(3, 56, long2Trigger, 596, 41);
    switchEr(5, 34, nullptr, 768, 19);
    switchEr(6, 34, nullptr, 768, 41);
    switchEr(7, 74, nullptr, 20, 106);
    switchEr(17, 74, nullptr, 164, 106);
    modSection(8, 9, 10, nullptr, nullptr, nullptr, 22, 138);
    modSection(18, 19, 20, nullptr, nullptr, nullptr, 166, 138);
    modSection(11, 12, 13, nullptr, nullptr, nullptr, 22, 241);
    modSection(21, 22, 23, nullptr, nullptr, nullptr, 166, 241);
    modSection(14, 15, 16, nullptr, nullptr, nullptr, 22, 346);
    modSection(24, 25, 26, nullptr, nullptr, nullptr, 166, 346);
    switchEr(27, 56, long2noise, 102, 465);
    modSection(28, 30, 31, nullptr, nullptr, nullptr, 22, 486);
    modSection(29, 32, 33, nullptr, nullptr, nullptr, 166, 486);
    switchEr(48, 74, nullptr, 308, 106);
    switchEr(55, 74, nullptr, 452, 106);
    modSection(49, 53, 54, nullptr, nullptr, nullptr, 310, 138);
    modSection(56, 60, 61, nullptr, nullptr, nullptr, 454, 138);
    knob(50, 310, 241);
    knob(57, 454, 241);
    knob(52, 368, 241);
    knob(59, 512, 241);
    switchEr(40, 74, long2Shaper, 308, 326);
    switchEr(44, 74, long2Shaper, 452, 326);
    modSection(41, 42, 43, nullptr, nullptr, nullptr, 310, 346);
    modSection(45, 46, 47, nullptr, nullptr, nullptr, 454, 346);
    switchEr(2, 56, long2linemode, 390, 465);
    modSection(34, 36, 37, nullptr, nullptr, nullptr, 310, 486);
    modSection(35, 38, 39, nullptr, nullptr, nullptr, 454, 486);
    knobRow(62, 5, 593, 89);
    knobRow(67, 5, 593, 169);
    knobRow(72, 5, 593, 249);
    lfoSection(77, nullptr, nullptr, nullptr, 596, 330);
    lfoSection(85, nullptr, nullptr, nullptr, 596, 433);
    switchEr(93, 56, nullptr, 623, 537);
    switchEr(95, 56, nullptr, 623, 558);
    switchEr(96, 56, nullptr, 744, 537);
    switchEr(98, 56, nullptr, 744, 558);

    SizeControl(mCarbonPane, SInt16(background->getWidth() + SInt32(x)), SInt16(background->getHeight() + SInt32(y)));
    return noErr;
}
