// Date: a time value in milliseconds since 1970 with its getters and setters. The engine's zone
// is UTC, so each local method and its UTC twin agree; both go through LocalTime/Utc anyway.
#include <cmath>
#include <limits>

#include "player/script/builtins.h"
#include "player/script/date_math.h"

namespace player::script {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class DateObject final : public Object {
  public:
    DateObject(Object* proto, double time) : Object(proto, ObjectKind::kDate), time_(time) {}
    double Time() const { return time_; }
    void SetTime(double t) { time_ = t; }
    std::size_t Size() const override { return Object::Size() + sizeof(double); }

  private:
    double time_;
};

DateObject* ThisDate(const Value& self) {
    return This<DateObject>(self, ObjectKind::kDate);
}

// Years 0 to 99 stand for 1900 to 1999.
double FullYear(double year) {
    const double y = std::trunc(year);
    return !std::isnan(year) && y >= 0 && y <= 99 ? 1900 + y : year;
}

// The time given as year, month[, date[, hours[, minutes[, seconds[, ms]]]]] in local time.
double TimeFromFields(Vm& vm, std::span<const Value> args) {
    double f[7] = {0, 0, 1, 0, 0, 0, 0};
    for (std::size_t i = 0; i < args.size() && i < 7; ++i) f[i] = vm.ToNumber(args[i]);
    const double day = MakeDay(FullYear(f[0]), f[1], f[2]);
    return Utc(MakeDate(day, MakeTime(f[3], f[4], f[5], f[6])));
}

// The time the constructor's arguments give: none for now, one time value, or the fields.
double TimeFromArgs(Vm& vm, std::span<const Value> args) {
    if (args.empty()) return vm.DateNowMs();
    if (args.size() == 1) return TimeClip(vm.ToNumber(args[0]));
    return TimeClip(TimeFromFields(vm, args));
}

Value DateConstruct(Vm& vm, const Value&, std::span<const Value> args) {
    return Value::Obj(
        vm.GetHeap().New<DateObject>(vm.GetRealm().dateProto, TimeFromArgs(vm, args)));
}

Object* MakeDateInstance(Vm& vm, Object* proto) {
    return vm.GetHeap().New<DateObject>(proto, kNaN);
}

// Date() called as a function gives the text of now; called on a date (super() in a class
// extending Date) it sets the date up as the constructor would.
Value DateCall(Vm& vm, const Value& self, std::span<const Value> args) {
    if (DateObject* d = ThisDate(self)) {
        d->SetTime(TimeFromArgs(vm, args));
        return Value();
    }
    return vm.Str(DateToString(vm.DateNowMs()));
}

Value DateUtc(Vm& vm, const Value&, std::span<const Value> args) {
    if (args.size() < 2) return Value::Number(kNaN);
    double f[7] = {0, 0, 1, 0, 0, 0, 0};
    for (std::size_t i = 0; i < args.size() && i < 7; ++i) f[i] = vm.ToNumber(args[i]);
    return Value::Number(
        TimeClip(MakeDate(MakeDay(FullYear(f[0]), f[1], f[2]), MakeTime(f[3], f[4], f[5], f[6]))));
}

// ---- Getters ---------------------------------------------------------------------------------

enum class Field { kYear, kFullYear, kMonth, kDate, kDay, kHours, kMinutes, kSeconds, kMs };

double FieldOf(double t, Field field) {
    switch (field) {
        case Field::kYear:
            return YearFromTime(t) - 1900;
        case Field::kFullYear:
            return YearFromTime(t);
        case Field::kMonth:
            return MonthFromTime(t);
        case Field::kDate:
            return DateFromTime(t);
        case Field::kDay:
            return WeekDay(t);
        case Field::kHours:
            return HourFromTime(t);
        case Field::kMinutes:
            return MinFromTime(t);
        case Field::kSeconds:
            return SecFromTime(t);
        case Field::kMs:
            return MsFromTime(t);
    }
    return kNaN;
}

template <Field F, bool Local>
Value Getter(Vm&, const Value& self, std::span<const Value>) {
    DateObject* d = ThisDate(self);
    if (!d) return Value();
    const double t = d->Time();
    if (std::isnan(t)) return Value::Number(kNaN);
    return Value::Number(FieldOf(Local ? LocalTime(t) : t, F));
}

Value GetTime(Vm&, const Value& self, std::span<const Value>) {
    DateObject* d = ThisDate(self);
    return d ? Value::Number(d->Time()) : Value();
}

Value GetTimezoneOffset(Vm&, const Value& self, std::span<const Value>) {
    DateObject* d = ThisDate(self);
    if (!d) return Value();
    return Value::Number(std::isnan(d->Time()) ? kNaN
                                               : (d->Time() - LocalTime(d->Time())) / kMsPerMinute);
}

Value DateToStringMethod(Vm& vm, const Value& self, std::span<const Value>) {
    DateObject* d = ThisDate(self);
    return d ? vm.Str(DateToString(d->Time())) : Value();
}

// ---- Setters ---------------------------------------------------------------------------------

// Rebuilds the time from its seven fields with the given arguments written over them, from
// `first` on; arguments not passed keep the field's value.
template <int First, int Count, bool Local, bool TwoDigitYear = false>
Value Setter(Vm& vm, const Value& self, std::span<const Value> args) {
    DateObject* d = ThisDate(self);
    if (!d) return Value();
    double t = d->Time();
    if (std::isnan(t)) {
        // Only the year setters give an invalid date a time again, from the start of 1970.
        if (First != 0) return Value::Number(kNaN);
        t = 0;
    }
    if (Local) t = LocalTime(t);
    double f[7] = {YearFromTime(t), MonthFromTime(t), DateFromTime(t), HourFromTime(t),
                   MinFromTime(t),  SecFromTime(t),   MsFromTime(t)};
    if (args.empty()) {
        f[First] = kNaN;
    } else {
        for (int i = 0; i < Count && i < static_cast<int>(args.size()); ++i)
            f[First + i] = vm.ToNumber(args[static_cast<std::size_t>(i)]);
    }
    if (TwoDigitYear) f[0] = FullYear(f[0]);
    double result = MakeDate(MakeDay(f[0], f[1], f[2]), MakeTime(f[3], f[4], f[5], f[6]));
    if (Local) result = Utc(result);
    d->SetTime(TimeClip(result));
    return Value::Number(d->Time());
}

Value SetTime(Vm& vm, const Value& self, std::span<const Value> args) {
    DateObject* d = ThisDate(self);
    if (!d) return Value();
    d->SetTime(TimeClip(vm.ToNumber(Arg(args, 0))));
    return Value::Number(d->Time());
}

Value DateValueOf(Vm&, const Value& self, std::span<const Value>) {
    DateObject* d = ThisDate(self);
    return d ? Value::Number(d->Time()) : Value();
}

}  // namespace

void InstallDate(Vm& vm) {
    Realm& realm = vm.GetRealm();
    realm.dateProto = vm.GetHeap().New<Object>(realm.objectProto);
    Object* p = realm.dateProto;
    FunctionObject* ctor = vm.DefineClass(realm.global, "Date", DateCall, DateConstruct, p);
    vm.DefineMethod(ctor, "UTC", DateUtc);
    realm.nativeClasses.emplace_back(p, MakeDateInstance);

    struct Method {
        const char* name;
        NativeFn fn;
    };
    const Method methods[] = {
        {"getFullYear", Getter<Field::kFullYear, true>},
        {"getYear", Getter<Field::kYear, true>},
        {"getMonth", Getter<Field::kMonth, true>},
        {"getDate", Getter<Field::kDate, true>},
        {"getDay", Getter<Field::kDay, true>},
        {"getHours", Getter<Field::kHours, true>},
        {"getMinutes", Getter<Field::kMinutes, true>},
        {"getSeconds", Getter<Field::kSeconds, true>},
        {"getMilliseconds", Getter<Field::kMs, true>},
        {"getUTCFullYear", Getter<Field::kFullYear, false>},
        {"getUTCYear", Getter<Field::kYear, false>},
        {"getUTCMonth", Getter<Field::kMonth, false>},
        {"getUTCDate", Getter<Field::kDate, false>},
        {"getUTCDay", Getter<Field::kDay, false>},
        {"getUTCHours", Getter<Field::kHours, false>},
        {"getUTCMinutes", Getter<Field::kMinutes, false>},
        {"getUTCSeconds", Getter<Field::kSeconds, false>},
        {"getUTCMilliseconds", Getter<Field::kMs, false>},
        {"getTime", GetTime},
        {"getTimezoneOffset", GetTimezoneOffset},
        {"setFullYear", Setter<0, 3, true>},
        {"setYear", Setter<0, 3, true, true>},
        {"setMonth", Setter<1, 2, true>},
        {"setDate", Setter<2, 1, true>},
        {"setHours", Setter<3, 4, true>},
        {"setMinutes", Setter<4, 3, true>},
        {"setSeconds", Setter<5, 2, true>},
        {"setMilliseconds", Setter<6, 1, true>},
        {"setUTCFullYear", Setter<0, 3, false>},
        {"setUTCMonth", Setter<1, 2, false>},
        {"setUTCDate", Setter<2, 1, false>},
        {"setUTCHours", Setter<3, 4, false>},
        {"setUTCMinutes", Setter<4, 3, false>},
        {"setUTCSeconds", Setter<5, 2, false>},
        {"setUTCMilliseconds", Setter<6, 1, false>},
        {"setTime", SetTime},
        {"toString", DateToStringMethod},
        {"valueOf", DateValueOf},
    };
    for (const Method& m : methods) vm.DefineMethod(p, m.name, m.fn);
}

}  // namespace player::script
