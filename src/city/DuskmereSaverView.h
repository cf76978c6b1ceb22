#pragma once

#include "city/DuskmereScene.h"
#include "host/SceneSaverView.h"

namespace duskmere {

// The principal saver: the city skyline at about 450 canvas rows.
class DuskmereSaverView : public SceneSaverView<DuskmereScene, 450> {
public:
    using SceneSaverView::SceneSaverView;
};

}  // namespace duskmere
