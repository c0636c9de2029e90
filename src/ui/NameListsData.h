// The three rating name lists as compiled into the program, generated from
// src/ui/rating/{red,blue,green}.txt by cmake/EmbedNameLists.cmake. Each name
// keeps its exact bytes (UTF-8), in file order, duplicates included.
#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>

namespace vantorell::ui {

// Names packed one after another in one read-only string, each preceded by one
// byte holding its length. Iterating yields the names as views into the string.
class PackedNames {
public:
    class Iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        Iterator() = default;
        explicit Iterator(const char* at) : at_(at) {}
        std::string_view operator*() const { return std::string_view(at_ + 1, static_cast<unsigned char>(*at_)); }
        Iterator& operator++() {
            at_ += 1 + static_cast<unsigned char>(*at_);
            return *this;
        }
        Iterator operator++(int) {
            Iterator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const Iterator& other) const { return at_ == other.at_; }

    private:
        const char* at_ = nullptr;
    };

    constexpr PackedNames(std::string_view bytes, std::size_t count) : bytes_(bytes), count_(count) {}
    Iterator begin() const { return Iterator(bytes_.data()); }
    Iterator end() const { return Iterator(bytes_.data() + bytes_.size()); }
    std::size_t size() const { return count_; }
    // The names, each after the byte holding its length.
    std::string_view Bytes() const { return bytes_; }

private:
    std::string_view bytes_;
    std::size_t count_;
};

PackedNames RedListNames();    // red.txt: useless or dangerous
PackedNames BlueListNames();   // blue.txt: not needed
PackedNames GreenListNames();  // green.txt: good, leave it on

}  // namespace vantorell::ui
