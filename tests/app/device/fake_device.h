#pragma once
// Access to the scriptable stand-in library (fake/fake_brisko.cpp) from
// tests: binds the application to it and exposes its controls.
#include <QLibrary>
#include <QString>

#include "device/quenzel.h"

namespace larimo::test {

class FakeDevice {
 public:
  explicit FakeDevice(const char* path = FAKE_BRISKO_PATH) : lib_(QString::fromUtf8(path)) {
    quenzel::SelectLibrary(QString::fromUtf8(path));
    lib_.load();
    Call<void (*)()>("Fake_Reset")();
  }
  ~FakeDevice() { quenzel::SelectLibrary(QStringLiteral("Brisko")); }
  FakeDevice(const FakeDevice&) = delete;
  FakeDevice& operator=(const FakeDevice&) = delete;

  bool loaded() const { return lib_.isLoaded(); }
  void SetOpenResult(int16_t id, int16_t rc) {
    Call<void (*)(int16_t, int16_t)>("Fake_SetOpenResult")(id, rc);
  }
  void SetStartResult(int16_t id, int16_t rc) {
    Call<void (*)(int16_t, int16_t)>("Fake_SetStartResult")(id, rc);
  }
  void SetSample(int16_t id, int16_t rc, double v) {
    Call<void (*)(int16_t, int16_t, double)>("Fake_SetSample")(id, rc, v);
  }
  void QueueSample(int16_t id, int16_t rc, double v) {
    Call<void (*)(int16_t, int16_t, double)>("Fake_QueueSample")(id, rc, v);
  }
  bool IsOpen(int16_t id) { return Call<int (*)(int16_t)>("Fake_IsOpen")(id) != 0; }
  QString Log() { return QString::fromUtf8(Call<const char* (*)()>("Fake_Log")()); }

 private:
  template <typename F>
  F Call(const char* name) {
    auto f = reinterpret_cast<F>(lib_.resolve(name));
    if (!f) qFatal("fake device library lacks %s", name);
    return f;
  }
  QLibrary lib_;
};

}  // namespace larimo::test
