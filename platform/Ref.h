#pragma once
// A nullable reference to a platform object. Using an empty reference is a
// failure of the step that uses it, exactly like an operation the platform
// refuses, so a lookup that finds nothing skips only the step that needed it.

#include <memory>

#include "support/Failure.h"

namespace platform {

template <class T>
class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    Ref(std::shared_ptr<T> object) : object_(std::move(object)) {}
    template <class U>
    Ref(std::shared_ptr<U> object) : object_(std::move(object)) {}
    template <class U>
    Ref(const Ref<U>& other) : object_(other.shared()) {}

    T* operator->() const { return &checked(); }
    T& operator*() const { return checked(); }
    explicit operator bool() const { return object_ != nullptr; }
    const std::shared_ptr<T>& shared() const { return object_; }
    void reset() { object_.reset(); }

    friend bool operator==(const Ref& a, const Ref& b) { return a.object_ == b.object_; }

private:
    T& checked() const {
        if (!object_) throw support::Failure("empty object reference");
        return *object_;
    }
    std::shared_ptr<T> object_;
};

}  // namespace platform
