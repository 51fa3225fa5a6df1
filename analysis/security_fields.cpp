#include "analysis/security_fields.h"

namespace kestrel::fields {

Names Of(std::uint32_t eventId) {
    switch (eventId) {
        case 4624:
            return k4624;
        case 4625:
            return k4625;
        case 4634:
            return k4634;
        case 4647:
            return k4647;
        case 4648:
            return k4648;
        case 4672:
            return k4672;
        case 4740:
            return k4740;
        case 4768:
            return k4768;
        case 4769:
            return k4769;
        case 4771:
            return k4771;
        case 4776:
            return k4776;
        case 4778:
        case 4779:
            return k4778;
        default:
            return {};
    }
}

}  // namespace kestrel::fields
