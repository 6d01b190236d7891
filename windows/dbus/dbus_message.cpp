#include "windows/dbus/dbus_message.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace lorvane::dbus {
namespace {

// The D-Bus type code of each Scalar alternative, with the value as sd-bus takes it.
template <typename T>
constexpr char typeCode() {
  if constexpr (std::is_same_v<T, bool>) return SD_BUS_TYPE_BOOLEAN;
  if constexpr (std::is_same_v<T, int32_t>) return SD_BUS_TYPE_INT32;
  if constexpr (std::is_same_v<T, uint32_t>) return SD_BUS_TYPE_UINT32;
  if constexpr (std::is_same_v<T, int64_t>) return SD_BUS_TYPE_INT64;
  if constexpr (std::is_same_v<T, uint64_t>) return SD_BUS_TYPE_UINT64;
  if constexpr (std::is_same_v<T, double>) return SD_BUS_TYPE_DOUBLE;
  return SD_BUS_TYPE_STRING;
}

int appendScalar(sd_bus_message* m, const Scalar& value) {
  return std::visit(
      [m](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, bool>) {
          const int b = v;  // sd-bus booleans are ints
          return sd_bus_message_append_basic(m, SD_BUS_TYPE_BOOLEAN, &b);
        } else if constexpr (std::is_same_v<T, std::string>) {
          return sd_bus_message_append_basic(m, SD_BUS_TYPE_STRING, v.c_str());
        } else {
          return sd_bus_message_append_basic(m, typeCode<T>(), &v);
        }
      },
      value);
}

int appendDict(sd_bus_message* m, const Dict& dict) {
  int r = sd_bus_message_open_container(m, SD_BUS_TYPE_ARRAY, "{sv}");
  for (auto it = dict.begin(); r >= 0 && it != dict.end(); ++it) {
    const char sig[] = {
        std::visit([](const auto& v) { return typeCode<std::decay_t<decltype(v)>>(); }, it->second),
        '\0'};
    if ((r = sd_bus_message_open_container(m, SD_BUS_TYPE_DICT_ENTRY, "sv")) < 0) break;
    if ((r = sd_bus_message_append_basic(m, SD_BUS_TYPE_STRING, it->first.c_str())) < 0) break;
    if ((r = sd_bus_message_open_container(m, SD_BUS_TYPE_VARIANT, sig)) < 0) break;
    if ((r = appendScalar(m, it->second)) < 0) break;
    if ((r = sd_bus_message_close_container(m)) < 0) break;
    r = sd_bus_message_close_container(m);
  }
  return r < 0 ? r : sd_bus_message_close_container(m);
}

// The complete signature of the next value, from what peek_type gives.
std::string completeType(char type, const char* contents) {
  switch (type) {
    case SD_BUS_TYPE_ARRAY:
      return std::string(1, type) + contents;
    case SD_BUS_TYPE_STRUCT:
      return std::string("(") + contents + ")";
    case SD_BUS_TYPE_DICT_ENTRY:
      return std::string("{") + contents + "}";
    default:
      return std::string(1, type);
  }
}

// Reads the basic value of `type` at the cursor; nothing (and the value skipped) for others.
std::optional<Scalar> readScalar(sd_bus_message* m, char type) {
  union {
    int b;
    int32_t i;
    uint32_t u;
    int64_t x;
    uint64_t t;
    double d;
    const char* s;
  } v{};
  const bool known = std::strchr("biuxtdso", type) != nullptr && type != '\0';
  if (!known) {
    sd_bus_message_skip(m, std::string(1, type).c_str());
    return std::nullopt;
  }
  if (sd_bus_message_read_basic(m, type, &v) < 0) return std::nullopt;
  switch (type) {
    case SD_BUS_TYPE_BOOLEAN:
      return Scalar(v.b != 0);
    case SD_BUS_TYPE_INT32:
      return Scalar(v.i);
    case SD_BUS_TYPE_UINT32:
      return Scalar(v.u);
    case SD_BUS_TYPE_INT64:
      return Scalar(v.x);
    case SD_BUS_TYPE_UINT64:
      return Scalar(v.t);
    case SD_BUS_TYPE_DOUBLE:
      return Scalar(v.d);
    default:
      return Scalar(std::string(v.s ? v.s : ""));
  }
}

// Reads an a{sv} at the cursor; members whose variant is not a basic value are skipped.
Dict readDict(sd_bus_message* m) {
  Dict dict;
  if (sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, "{sv}") <= 0) return dict;
  while (sd_bus_message_enter_container(m, SD_BUS_TYPE_DICT_ENTRY, "sv") > 0) {
    const char* key = nullptr;
    char type = 0;
    const char* contents = nullptr;
    if (sd_bus_message_read_basic(m, SD_BUS_TYPE_STRING, &key) < 0 ||
        sd_bus_message_enter_container(m, SD_BUS_TYPE_VARIANT, nullptr) <= 0) {
      break;
    }
    if (sd_bus_message_peek_type(m, &type, &contents) > 0) {
      if (std::strchr("biuxtdso", type) != nullptr) {
        if (auto value = readScalar(m, type)) dict.emplace(key, std::move(*value));
      } else {
        sd_bus_message_skip(m, completeType(type, contents).c_str());
      }
    }
    sd_bus_message_exit_container(m);  // the variant
    sd_bus_message_exit_container(m);  // the entry
  }
  sd_bus_message_exit_container(m);
  return dict;
}

}  // namespace

int appendArgs(sd_bus_message* m, const std::vector<Arg>& args) {
  for (const Arg& arg : args) {
    int r = 0;
    if (const Dict* dict = std::get_if<Dict>(&arg)) {
      r = appendDict(m, *dict);
    } else if (const Fd* fd = std::get_if<Fd>(&arg)) {
      r = sd_bus_message_append_basic(m, SD_BUS_TYPE_UNIX_FD, &fd->fd);
    } else {
      r = std::visit(
          [m](const auto& v) -> int {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_constructible_v<Scalar, T> && !std::is_same_v<T, Fd> &&
                          !std::is_same_v<T, Dict>) {
              return appendScalar(m, Scalar(v));
            }
            return -EINVAL;
          },
          arg);
    }
    if (r < 0) return r;
  }
  return 0;
}

std::vector<Arg> readArgs(sd_bus_message* m) {
  std::vector<Arg> args;
  if (sd_bus_message_rewind(m, 1) < 0) return args;
  char type = 0;
  const char* contents = nullptr;
  while (sd_bus_message_peek_type(m, &type, &contents) > 0) {
    if (type == SD_BUS_TYPE_ARRAY && contents && std::strcmp(contents, "{sv}") == 0) {
      args.emplace_back(readDict(m));
    } else if (type == SD_BUS_TYPE_UNIX_FD) {
      int fd = -1;
      sd_bus_message_read_basic(m, type, &fd);
      args.emplace_back(Fd{fd});  // owned by the message
    } else if (std::strchr("biuxtdso", type) != nullptr) {
      if (auto value = readScalar(m, type)) {
        std::visit([&args](auto&& v) { args.emplace_back(std::move(v)); }, std::move(*value));
      }
    } else if (sd_bus_message_skip(m, completeType(type, contents).c_str()) < 0) {
      break;
    }
  }
  return args;
}

std::string describe(const sd_bus_error& e, int errnoValue) {
  if (sd_bus_error_is_set(&e)) {
    return std::string(e.name) + (e.message ? std::string(": ") + e.message : std::string());
  }
  BusError fromErrno;
  if (errnoValue == 0 || sd_bus_error_set_errno(&fromErrno.e, std::abs(errnoValue)) == 0) {
    return "unknown error";
  }
  return describe(fromErrno.e, 0);
}

}  // namespace lorvane::dbus
