// Drawing the card in the viewer. The surface, cage, points and picking are
// not drawn yet: draw_handle only keeps the stored points applied while the
// host is still setting the node up.
#include "node/QuorCard.h"

using namespace DD::Image;

namespace quorcard {

void QuorCard::draw_handle(ViewerContext*) {
  if (node_state() < 3) {
    restorePoints();
    if (Knob* k = knob("selected_cp")) selectedHandle = static_cast<int>(k->get_value());
  }
}

}  // namespace quorcard
