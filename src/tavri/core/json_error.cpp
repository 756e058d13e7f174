#include "tavri/core/json_error.h"

namespace tavri {

JsonError JsonError::invalid_type(std::string what, std::string expected) {
    return {Kind::InvalidType, "invalid type: " + what + ", expected " + expected, {}};
}

JsonError JsonError::missing_field(std::string field) {
    return {Kind::MissingField, "missing field `" + field + "`", field};
}

JsonError JsonError::unknown_variant(std::string tag, const char* const* expected, std::size_t n) {
    std::string msg = "unknown variant `" + tag + "`, expected one of ";
    for (std::size_t i = 0; i < n; ++i) {
        if (i) msg += ", ";
        msg += "`";
        msg += expected[i];
        msg += "`";
    }
    return {Kind::UnknownVariant, msg, "type"};
}

JsonError JsonError::invalid_value(std::string field, std::string why) {
    return {Kind::InvalidValue, "invalid value for `" + field + "`: " + why, field};
}

}  // namespace tavri
