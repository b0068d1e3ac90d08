#include "core/Uuid.h"

namespace pictavo {

Uuid Uuid::random()
{
    Uuid uuid;
    uuid_generate_random(uuid.value_);
    return uuid;
}

std::string Uuid::toString() const
{
    char text[37];
    uuid_unparse_lower(value_, text);
    return text;
}

}  // namespace pictavo
