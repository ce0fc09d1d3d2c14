// VelmoraAUView: the instrument's editor view.
#pragma once
#include "AUPublic/AUCarbonViewBase/AUCarbonViewBase.h"

class VelmoraAUView : public AUCarbonViewBase {
public:
    explicit VelmoraAUView(ComponentInstance instance) : AUCarbonViewBase(instance) {}
};
