// The one generic to_json and from_json of the tools' formats. A type of the model lists its fields once,
// as member pointers:
//
//     template <class Visit> static void fields(Visit& visit) {
//         visit("width", &Record::width);        // required
//         visit("channel", &Record::channel, 1); // 1 when absent
//     }
//
// writeJson walks that list to write an object and readJson to read one, so each key is spelled in one
// place. A Known (std::optional) field is written as null when unknown; whether a null is read back as
// unknown or refused depends on the input: a timeline shows what its source did not, a scenario must say
// everything the library is given.
#ifndef KTRSDK_TOOLS_COMMON_MODEL_FIELDCODEC_H
#define KTRSDK_TOOLS_COMMON_MODEL_FIELDCODEC_H

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "FieldReader.h"
#include "JsonOut.h"

namespace ktr {

// A value its source may not show: std::nullopt is unknown (null in JSON).
template <class T>
using Known = std::optional<T>;

// Whether a null read where a Known value stands means "unknown" or is refused.
enum class Nulls { Unknown, Refused };

namespace codec {

struct FieldProbe {
    template <class M, class C>
    void operator()(const char*, M C::*) {}
    template <class M, class C, class D>
    void operator()(const char*, M C::*, const D&) {}
};

template <class T, class = void>
struct HasFields : std::false_type {};
template <class T>
struct HasFields<T, std::void_t<decltype(T::fields(std::declval<FieldProbe&>()))>> : std::true_type {};

// ---- writing --------------------------------------------------------------------------------------------

inline void writeValue(JsonOut& out, bool value) {
    out.boolean(value);
}
inline void writeValue(JsonOut& out, int32_t value) {
    out.integer(value);
}
inline void writeValue(JsonOut& out, int64_t value) {
    out.integer(value);
}
inline void writeValue(JsonOut& out, uint16_t value) {
    out.unsignedInteger(value);
}
inline void writeValue(JsonOut& out, uint64_t value) {
    out.unsignedInteger(value);
}
inline void writeValue(JsonOut& out, double value) {
    out.number(value);
}
inline void writeValue(JsonOut& out, const std::string& value) {
    out.string(value);
}
template <class T>
void writeValue(JsonOut& out, const std::optional<T>& value);
template <class T>
void writeValue(JsonOut& out, const std::vector<T>& values);
template <class T>
void writeValue(JsonOut& out, const std::set<T>& values);
template <class T>
void writeValue(JsonOut& out, const std::map<std::string, T>& values);
template <class T, std::enable_if_t<HasFields<T>::value, int> = 0>
void writeValue(JsonOut& out, const T& value);

template <class Object>
struct FieldWriter {
    JsonOut& out;
    const Object& object;
    template <class M, class C>
    void operator()(const char* key, M C::*member) {
        out.key(key);
        writeValue(out, object.*member);
    }
    template <class M, class C, class D>
    void operator()(const char* key, M C::*member, const D&) {
        (*this)(key, member);
    }
};

template <class T>
void writeValue(JsonOut& out, const std::optional<T>& value) {
    if (value) {
        writeValue(out, *value);
    } else {
        out.null();
    }
}
template <class T>
void writeValue(JsonOut& out, const std::vector<T>& values) {
    out.beginArray();
    for (const T& value : values) {
        writeValue(out, value);
    }
    out.endArray();
}
template <class T>
void writeValue(JsonOut& out, const std::set<T>& values) {
    out.beginArray();
    for (const T& value : values) {
        writeValue(out, value);
    }
    out.endArray();
}
// A map by name is an object of its entries.
template <class T>
void writeValue(JsonOut& out, const std::map<std::string, T>& values) {
    out.beginObject();
    for (const auto& [name, value] : values) {
        out.key(name);
        writeValue(out, value);
    }
    out.endObject();
}
// The fields of value, without the braces: for a type that adds fields of its own around them.
template <class T>
void writeFields(JsonOut& out, const T& value) {
    FieldWriter<T> writer{out, value};
    T::fields(writer);
}
template <class T, std::enable_if_t<HasFields<T>::value, int>>
void writeValue(JsonOut& out, const T& value) {
    out.beginObject();
    writeFields(out, value);
    out.endObject();
}

// ---- reading --------------------------------------------------------------------------------------------

inline void readValue(FieldReader& in, const char* key, bool& value, Nulls) {
    value = in.boolean(key);
}
inline void readValue(FieldReader& in, const char* key, int32_t& value, Nulls) {
    value = in.i32(key);
}
inline void readValue(FieldReader& in, const char* key, int64_t& value, Nulls) {
    value = in.i64(key, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
}
inline void readValue(FieldReader& in, const char* key, uint16_t& value, Nulls) {
    value = in.u16(key);
}
inline void readValue(FieldReader& in, const char* key, uint64_t& value, Nulls) {
    value = in.u64(key);
}
inline void readValue(FieldReader& in, const char* key, double& value, Nulls) {
    value = in.number(key);
}
inline void readValue(FieldReader& in, const char* key, std::string& value, Nulls) {
    value = in.text(key, "");
    if (!in.contains(key)) {
        in.fail(key, "missing");
    }
}
template <class T>
void readValue(FieldReader& in, const char* key, std::optional<T>& value, Nulls nulls);
template <class T>
void readValue(FieldReader& in, const char* key, std::vector<T>& values, Nulls nulls);
template <class T>
void readValue(FieldReader& in, const char* key, std::set<T>& values, Nulls nulls);
template <class T>
void readValue(FieldReader& in, const char* key, std::map<std::string, T>& values, Nulls nulls);
template <class T, std::enable_if_t<HasFields<T>::value, int> = 0>
void readValue(FieldReader& in, const char* key, T& value, Nulls nulls);

template <class Object>
struct FieldFiller {
    FieldReader& in;
    Object& object;
    Nulls nulls;
    template <class M, class C>
    void operator()(const char* key, M C::*member) {
        readValue(in, key, object.*member, nulls);
    }
    template <class M, class C, class D>
    void operator()(const char* key, M C::*member, const D& fallback) {
        if (in.contains(key)) {
            readValue(in, key, object.*member, nulls);
        } else {
            object.*member = fallback;
        }
    }
    // A field that is absent unless given is written as null when absent, so null reads as absent
    // whatever nulls says of the values inside it.
    template <class M, class C>
    void operator()(const char* key, M C::*member, const std::nullopt_t&) {
        if (in.isNullOrAbsent(key)) {
            object.*member = std::nullopt;
        } else {
            readValue(in, key, object.*member, nulls);
        }
    }
};

// Reads the fields of value from in; the caller finishes the reader.
template <class T>
void readFields(FieldReader& in, T& value, Nulls nulls) {
    FieldFiller<T> filler{in, value, nulls};
    T::fields(filler);
}

template <class T>
void readValue(FieldReader& in, const char* key, std::optional<T>& value, Nulls nulls) {
    if (nulls == Nulls::Unknown && in.isNullOrAbsent(key)) {
        value.reset();
        return;
    }
    T known{};
    readValue(in, key, known, nulls);
    value = std::move(known);
}

// An element of an array, read as if it were a field of a one-field object.
template <class T>
T readElement(const FieldReader& array, const std::string& key, size_t index, const JsonValue& element, Nulls nulls) {
    const JsonValue holder{{"value", element}};
    FieldReader in(holder, array.place().element(key, index));
    T value{};
    if constexpr (HasFields<T>::value) {
        in.object("value", [&](FieldReader& object) { readFields(object, value, nulls); });
    } else {
        readValue(in, "value", value, nulls);
    }
    return value;
}

template <class T>
void readValue(FieldReader& in, const char* key, std::vector<T>& values, Nulls nulls) {
    values.clear();
    if constexpr (HasFields<T>::value) {
        in.forEach(key, [&](FieldReader& element) {
            T value{};
            readFields(element, value, nulls);
            values.push_back(std::move(value));
        });
    } else {
        const JsonValue& array = in.child(key);
        if (!array.is_array()) {
            in.fail(key, "expected an array, got " + FieldReader::describe(array));
        }
        for (size_t i = 0; i < array.size(); ++i) {
            values.push_back(readElement<T>(in, key, i, array[i], nulls));
        }
    }
}

template <class T>
void readValue(FieldReader& in, const char* key, std::set<T>& values, Nulls nulls) {
    std::vector<T> list;
    readValue(in, key, list, nulls);
    values = std::set<T>(list.begin(), list.end());
}

template <class T>
void readValue(FieldReader& in, const char* key, std::map<std::string, T>& values, Nulls nulls) {
    values.clear();
    in.object(key, [&](FieldReader& object) {
        for (const std::string& name : object.keys()) {
            readValue(object, name.c_str(), values[name], nulls);
        }
    });
}

template <class T, std::enable_if_t<HasFields<T>::value, int>>
void readValue(FieldReader& in, const char* key, T& value, Nulls nulls) {
    in.object(key, [&](FieldReader& object) { readFields(object, value, nulls); });
}

// ---- changes --------------------------------------------------------------------------------------------
// A set of a type's fields, bit i for the i-th field of its list: what a step changed of a section.
using FieldMask = uint32_t;

template <class T, class F>
struct FieldWalker {
    F& f;
    unsigned index = 0;
    template <class M, class C>
    void operator()(const char* key, M C::*member) {
        f(index++, key, static_cast<M T::*>(member));
    }
    template <class M, class C, class D>
    void operator()(const char* key, M C::*member, const D&) {
        (*this)(key, member);
    }
};

// Calls f(index, key, member) for every field of T.
template <class T, class F>
void forEachField(F&& f) {
    FieldWalker<T, F> walker{f};
    T::fields(walker);
}

template <class T>
FieldMask allFields() {
    FieldMask mask = 0;
    forEachField<T>([&](unsigned index, const char*, auto) { mask |= FieldMask{1} << index; });
    return mask;
}

// The fields whose values differ between before and after.
template <class T>
FieldMask changedFields(const T& before, const T& after) {
    FieldMask mask = 0;
    forEachField<T>([&](unsigned index, const char*, auto member) {
        if (!(before.*member == after.*member)) {
            mask |= FieldMask{1} << index;
        }
    });
    return mask;
}

// The fields of value in mask, without the braces.
template <class T>
void writeFieldsIn(JsonOut& out, const T& value, FieldMask mask) {
    forEachField<T>([&](unsigned index, const char* key, auto member) {
        if ((mask & (FieldMask{1} << index)) != 0) {
            out.key(key);
            writeValue(out, value.*member);
        }
    });
}

// Reads the fields that in holds into value; returns which they were.
template <class T>
FieldMask readFieldsPresent(FieldReader& in, T& value, Nulls nulls) {
    FieldMask mask = 0;
    forEachField<T>([&](unsigned index, const char* key, auto member) {
        if (in.contains(key)) {
            readValue(in, key, value.*member, nulls);
            mask |= FieldMask{1} << index;
        }
    });
    return mask;
}

// Copies the fields in mask from source to target.
template <class T>
void copyFieldsIn(T& target, const T& source, FieldMask mask) {
    forEachField<T>([&](unsigned index, const char*, auto member) {
        if ((mask & (FieldMask{1} << index)) != 0) {
            target.*member = source.*member;
        }
    });
}

}  // namespace codec

// The JSON text of a model value.
template <class T>
std::string toJsonText(const T& value) {
    std::string text;
    JsonOut out(text);
    codec::writeValue(out, value);
    return text;
}

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_MODEL_FIELDCODEC_H
