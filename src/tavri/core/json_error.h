// Errors of the JSON readers of the core records.
#pragma once

#include <string>

namespace tavri {

struct JsonError {
    enum class Kind {
        InvalidType,     // the value is of the wrong JSON kind
        MissingField,    // a required member is absent (`field` names it)
        UnknownVariant,  // a tag is not one of the known ones
        InvalidValue,    // a member holds a value that cannot be read (e.g. a bad timestamp)
        Unwritable,      // writing failed (structured content holding a non-object)
    };
    Kind kind;
    std::string message;  // a readable sentence
    std::string field;    // the member concerned, when there is one

    static JsonError invalid_type(std::string what, std::string expected);
    static JsonError missing_field(std::string field);
    static JsonError unknown_variant(std::string tag, const char* const* expected, std::size_t n);
    static JsonError invalid_value(std::string field, std::string why);
};

}  // namespace tavri
