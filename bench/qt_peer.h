// The peer's side of the peer benchmarks: a property whose setter compares,
// stores and emits its notify signal (set_peer_bench), a signal alone
// (delivery_peer_bench), and a receiver whose slot counts its calls. In a
// header so that the framework's meta-object compiler finds them (AUTOMOC on
// those two targets).
//
//   std::atomic<int64_t> calls{0};
//   bench::PeerCounter counter(calls);
//   QObject::connect(&setting, &bench::PeerSetting::valueChanged, &counter,
//                    &bench::PeerCounter::onValueChanged,
//                    Qt::DirectConnection);
//   setting.setValue(QByteArray("1"));  // calls == 1
#ifndef OSTREL_BENCH_QT_PEER_H_
#define OSTREL_BENCH_QT_PEER_H_

#include <QByteArray>
#include <QObject>
#include <atomic>
#include <cstdint>

namespace bench {

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

// The peer's observer: a slot that counts its calls into `calls`.
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

// A signal alone, for queued and blocking queued connections.
class Emitter : public QObject {
  Q_OBJECT
 signals:
  void changed(const QByteArray& value);
};

}  // namespace bench

#endif  // OSTREL_BENCH_QT_PEER_H_
