// Bulk erase (DS39576B Table 3-2, DS39592E Table 3-2, DS39622L Table 3-2).
#include "device/passes.h"
#include "device/pic18/algorithm.h"
#include "device/pic18/operation.h"
#include "device/pic18/pic18.h"
#include "device/pic18/steps.h"
#include "link/icsp18.h"
#include "session/session.h"

namespace ferrolux {

int pic18Erase(Session& s) {
    const Pic18Algorithm* a = algorithmFor(s);
    if (a == nullptr) return kPassFailed;
    beginOperation(s);
    if (a->eraseKeyHigh >= 0) {
        setTablePointer(s, 0x3C0005);
        (void)icsp18Send(s, kTableWrite, a->eraseKeyHigh);
    }
    setTablePointer(s, 0x3C0004);
    (void)icsp18Send(s, kTableWrite, a->eraseKeyLow);
    core(s, kNop);
    // PGD held low while the chip erases (P11), then P10.
    (void)icsp18EraseNop(s, kPic18P11Ms, a->p10Us);
    return endOperation(s, 0);
}

}  // namespace ferrolux
