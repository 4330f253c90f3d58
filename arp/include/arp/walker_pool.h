// The walkers of a job: the service's own walker and, with ParallelWalks
// above 1, as many more, each on an SNMP endpoint of its own (its own socket,
// request identifiers and SNMPv3 engines), so that their walks run side by
// side on the one event loop.
//
//   WalkerPool pool(ctx, walker);
//   pool.Resize(settings.parallel_walks, &usm_user);  // at the start of a job
//   pool.SetEnabled(false);                          // a stop ends every walk
#pragma once

#include <memory>
#include <vector>

#include "arp/context.h"
#include "arp/walk.h"
#include "snmp/manager.h"
#include "snmp/usm_user.h"

namespace vexa {

class WalkerPool {
 public:
  WalkerPool(const CollectorContext& ctx, ArpWalker& first) : ctx_(ctx), first_(first) {}

  // Makes the pool `count` walkers (1 to 25): the first one and count - 1
  // more, each opened on a free port. `user`, when given, is the SNMPv3
  // user of the job. An endpoint that cannot be opened is logged and left
  // out; the cycle then walks with the walkers there are.
  void Resize(int count, const snmp::UsmUser* user);

  // Every walker, the first one first.
  std::vector<ArpWalker*> Walkers();

  // Switches every walker on or off; off ends the walks in progress.
  void SetEnabled(bool enabled);

 private:
  struct Extra {
    explicit Extra(const CollectorContext& ctx) : manager(ctx.loop), walker(ctx, manager) {}
    snmp::Manager manager;
    ArpWalker walker;
  };

  const CollectorContext& ctx_;
  ArpWalker& first_;
  std::vector<std::unique_ptr<Extra>> extras_;
};

}  // namespace vexa
