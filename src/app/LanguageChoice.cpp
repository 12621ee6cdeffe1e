#include "app/LanguageChoice.h"

namespace vistrel {

const std::array<LanguageChoiceRow, 8> LanguageChoice = {{
    {"English", 0x0409},
    {"Chinese", 0x0804},
    {"Russian", 0x0419},
    {"German", 0x0407},
    {"French", 0x040C},
    {"Italian", 0x0410},
    {"Spanish", 0x040A},
    {"Japanese", 0x0411},
}};

} // namespace vistrel
