// A script value: undefined, null, a boolean, a number, a string or an object (movie clips are
// objects too). Sixteen bytes, copied freely; strings and objects live on the heap.
#pragma once

#include <cstdint>
#include <string>

#include "player/script/heap.h"

namespace player::script {

class Object;

enum class Type : std::uint8_t { kUndefined, kNull, kBoolean, kNumber, kString, kObject };

class Value {
  public:
    Value() = default;
    static Value Null() {
        Value v;
        v.type_ = Type::kNull;
        return v;
    }
    static Value Boolean(bool b) {
        Value v;
        v.type_ = Type::kBoolean;
        v.boolean_ = b;
        return v;
    }
    static Value Number(double n) {
        Value v;
        v.type_ = Type::kNumber;
        v.number_ = n;
        return v;
    }
    static Value Str(const String* s) {
        Value v;
        v.type_ = Type::kString;
        v.string_ = s;
        return v;
    }
    // A null object pointer gives undefined.
    static Value Obj(Object* o) {
        Value v;
        if (o) {
            v.type_ = Type::kObject;
            v.object_ = o;
        }
        return v;
    }

    Type GetType() const { return type_; }
    bool IsUndefined() const { return type_ == Type::kUndefined; }
    bool IsNull() const { return type_ == Type::kNull; }
    bool IsNullish() const { return type_ == Type::kUndefined || type_ == Type::kNull; }
    bool IsBoolean() const { return type_ == Type::kBoolean; }
    bool IsNumber() const { return type_ == Type::kNumber; }
    bool IsString() const { return type_ == Type::kString; }
    bool IsObject() const { return type_ == Type::kObject; }

    bool AsBoolean() const { return boolean_; }
    double AsNumber() const { return number_; }
    const String* AsString() const { return string_; }
    const std::string& Text() const { return string_->Text(); }
    Object* AsObject() const { return type_ == Type::kObject ? object_ : nullptr; }

    void Mark(Marker& marker) const;

  private:
    Type type_ = Type::kUndefined;
    union {
        bool boolean_;
        double number_;
        const String* string_;
        Object* object_ = nullptr;
    };
};

// A number as an int for counts, depths, frames and indexes: truncated, NaN as 0, and
// clamped so that no conversion overflows (scripts pass any double).
inline int ClampToInt(double n) {
    if (!(n == n)) return 0;
    if (n >= 1e9) return 1000000000;
    if (n <= -1e9) return -1000000000;
    return static_cast<int>(n);
}

}  // namespace player::script
