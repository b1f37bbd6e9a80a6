// The peer side of set_peer_bench: an application framework's property with
// a setter that compares, stores and emits its notify signal, and a receiver
// whose slot counts its calls. In a header so that the framework's
// meta-object compiler finds them (set_peer_bench's AUTOMOC).
#ifndef OSTREL_BENCH_PEER_SETTING_H_
#define OSTREL_BENCH_PEER_SETTING_H_

#include <QByteArray>
#include <QObject>
#include <atomic>
#include <cstdint>

// The peer: one property whose setter compares, stores and notifies.
class PeerSetting : public QObject {
  Q_OBJECT
  Q_PROPERTY(QByteArray value READ value WRITE setValue NOTIFY valueChanged)

 public:
  const QByteArray& value() const { return m_value; }
  void setValue(const QByteArray& value) {
    if (value == m_value) return;
    m_value = value;
    emit valueChanged(m_value);
  }

 signals:
  void valueChanged(const QByteArray& value);

 private:
  QByteArray m_value;
};

// The peer's observer: a slot that counts its calls.
class PeerCounter : public QObject {
  Q_OBJECT

 public:
  explicit PeerCounter(std::atomic<int64_t>& calls) : m_calls(calls) {}

 public slots:
  void onValueChanged(const QByteArray&) {
    m_calls.fetch_add(1, std::memory_order_relaxed);
  }

 private:
  std::atomic<int64_t>& m_calls;
};

#endif  // OSTREL_BENCH_PEER_SETTING_H_
