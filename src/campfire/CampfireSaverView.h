#pragma once

#include "campfire/CampfireScene.h"
#include "host/SceneSaverView.h"

namespace duskmere {

// A saver that shows the campfire forest at about 270 canvas rows.
class CampfireSaverView : public SceneSaverView<CampfireScene, 270> {
public:
    using SceneSaverView::SceneSaverView;
};

}  // namespace duskmere
