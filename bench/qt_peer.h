// The peer's side of delivery_peer_bench: a QObject with a signal, and a
// QObject whose slot counts its calls (moved to the receiving QThread).
//
//   QObject::connect(&emitter, &Emitter::changed, &counter,
//                    &Counter::onChanged, Qt::QueuedConnection);
//   emit emitter.changed(value);
#ifndef OSTREL_BENCH_QT_PEER_H_
#define OSTREL_BENCH_QT_PEER_H_

#include <QByteArray>
#include <QObject>
#include <atomic>
#include <cstdint>

namespace bench {

class Emitter : public QObject {
  Q_OBJECT
 signals:
  void changed(const QByteArray& value);
};

class Counter : public QObject {
  Q_OBJECT
 public:
  std::atomic<int64_t> calls{0};
 public slots:
  void onChanged(const QByteArray&) {
    calls.fetch_add(1, std::memory_order_relaxed);
  }
};

}  // namespace bench

#endif  // OSTREL_BENCH_QT_PEER_H_
