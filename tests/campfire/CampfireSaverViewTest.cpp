// The saver view that shows the campfire forest.

#include <gtest/gtest.h>

#include "campfire/CampfireSaverView.h"
#include "campfire/CampfireScene.h"
#include "support/SceneViewCheck.h"

namespace duskmere {
namespace {

TEST(CampfireSaverView, ShowsTheForestAtAbout270Rows) {
    testing::expectViewShowsItsScene<CampfireSaverView, CampfireScene>(270.0, 480, 300, 77);
}

}  // namespace
}  // namespace duskmere
