// Values picked by name from a fixed list: the words an option or a
// description field takes, each with the value it stands for.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace vrel::tools {

template <class T> struct NamedChoice {
    std::string_view name;
    T value;
};

// The value named `name`, or none when no choice has that name.
template <class T, std::size_t N>
std::optional<T> chooseByName(std::string_view name, const NamedChoice<T> (&choices)[N]) {
    for (const NamedChoice<T>& choice : choices)
        if (choice.name == name)
            return choice.value;
    return std::nullopt;
}

} // namespace vrel::tools
