#pragma once
// Small helpers shared by the file tests: a data store with a run in it, and
// whole-file reads and writes.
#include <cstring>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

#include "store/module_data.h"

namespace larimo::test {

inline QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

inline bool WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

template <typename T>
void Put(QByteArray& out, T v) {
  const T le = qToLittleEndian(v);
  out.append(reinterpret_cast<const char*>(&le), sizeof(T));
}

inline void PutText(QByteArray& out, const QByteArray& text) {
  Put<quint16>(out, static_cast<quint16>(text.size()));
  out.append(text);
}

inline void PutRow(QByteArray& out, float a, float b, float c, float e) {
  for (float v : {a, b, c, e}) {
    quint32 bits;
    std::memcpy(&bits, &v, 4);
    Put<quint32>(out, bits);
  }
}

// A store with n samples: ID0 and ID2 in use, ID0 reads 20 + k / 4, ID2
// reads -k.
inline void FillRun(ModuleData& d, Long n) {
  d.InitDataBuffers();
  d.ClearData();
  d.Units[0].Mflag = kTrue;
  d.Units[2].Mflag = kTrue;
  for (Long k = 0; k < n; ++k) {
    d.Units[0].Values[k] = 20.0f + k / 4.0f;
    d.Units[2].Values[k] = -static_cast<float>(k);
  }
  d.Units[0].Count = n;
  d.Units[2].Count = n;
  d.DataNum = n;
}

}  // namespace larimo::test
