#pragma once

#include <uuid/uuid.h>

#include <string>

namespace pictavo {

// A random (version 4) UUID.
class Uuid {
public:
    static Uuid random();

    // Lower-case 8-4-4-4-12 hexadecimal form.
    std::string toString() const;

    friend bool operator==(const Uuid& a, const Uuid& b) { return uuid_compare(a.value_, b.value_) == 0; }

private:
    uuid_t value_{};
};

}  // namespace pictavo
