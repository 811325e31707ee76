#include "app/boxes.h"

#include "engine/status.h"

namespace halden {

BoxStyle boxStyle(BoxKind kind) {
    switch (kind) {
        case BoxKind::Error:
        case BoxKind::Fatal:  // says what happened and what next: nothing to answer
            return {text::kErrorTitle, false};
        case BoxKind::Question:
            return {text::kAppTitle, true};
        case BoxKind::Notice:
            break;
    }
    return {text::kAppTitle, false};
}

}  // namespace halden
