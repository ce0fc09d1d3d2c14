// VelmoraAUView: the instrument's panel, built once with the toolkit: a
// background pane and on it the knobs, displays, step buttons and LEDs of
// every parameter the panel shows.
#pragma once
#include <memory>

#include "AUPublic/AUCarbonViewBase/AUCarbonViewBase.h"
#include "Quib/Quib.h"
#include "Quib/QuibButton.h"
#include "Quib/QuibDisplay.h"

class QuibGraphic;
class QuibPane;
class QuibSpinImage;

class VelmoraAUView : public AUCarbonViewBase {
public:
    explicit VelmoraAUView(ComponentInstance instance) : AUCarbonViewBase(instance) {}
    ~VelmoraAUView() override;

    OSStatus CreateUI(Float32 xoffset, Float32 yoffset) override;

    // A knob with its value display and a modulation source with its depth.
    virtual void modSection(int main, int source, int depth, QuibTexter mainText, QuibTexter sourceText,
                            QuibTexter depthText, int x, int y);
    // A stepped value display between a minus and a plus button.
    virtual void switchEr(int param, int width, QuibTexter text, int x, int y);
    // Knobs over `count` consecutive parameters.
    virtual void knobRow(int first, int count, int x, int y);
    // One LFO, its parameters at fixed offsets from its wave parameter.
    virtual void lfoSection(int wave, QuibTexter waveText, QuibTexter volSourceText, QuibTexter speedSourceText, int x,
                            int y);

    QuibMan* getGui() const { return gui.get(); }

private:
    AUVParameter parameter(int id);
    void knob(int param, int x, int y);
    void display(int param, QuibResolution resolution, QuibTexter text, int x, int y, int width);
    void stepButton(int param, QuibBottonMode mode, int x, int y);

    std::unique_ptr<QuibMan> gui;
    // Not owned: the manager keeps the pictures and the controls.
    QuibSpinImage* knobImage = nullptr;
    QuibGraphic* knobBackImage = nullptr;
    QuibGraphic* plusImage = nullptr;
    QuibGraphic* minusImage = nullptr;
    QuibGraphic* buttonBackImage = nullptr;
    QuibGraphic* displaySmallImage = nullptr;
    QuibPane* backPane = nullptr;
};
