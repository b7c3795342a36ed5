#!/bin/sh
# Runs a command beside a host of its own: the command in a user and
# network namespace of its own (10.77.0.1, loopback up), joined by a veth
# pair to a second network namespace, the peer (10.77.0.2). The command is
# told the peer's namespace, its address and its own in
# KORVANE_PEER_NETNS, KORVANE_PEER_ADDRESS and KORVANE_PEER_SERVER. Nothing
# leaves the machine: both ends are namespaces this script made, gone when
# it ends. Exits 77 when they cannot be made here (no unprivileged user
# namespaces, no veth), else with the command's status.
unshare -rn true 2>/dev/null || exit 77
exec unshare -rn sh -c '
  ip link set lo up || exit 77
  unshare -n sleep 600 &
  peer=$!
  trap "kill $peer 2>/dev/null" EXIT
  # The peer is in its namespace once its own differs from this one.
  tries=0
  while [ "$(readlink /proc/$peer/ns/net)" = "$(readlink /proc/self/ns/net)" ]; do
    tries=$((tries + 1))
    [ $tries -le 500 ] || exit 77
    sleep 0.01
  done
  ip link add korvane0 type veth peer name korvane1 netns $peer || exit 77
  ip addr add 10.77.0.1/24 dev korvane0 && ip link set korvane0 up || exit 77
  nsenter -t $peer -n sh -c \
    "ip addr add 10.77.0.2/24 dev korvane1 && ip link set korvane1 up && ip link set lo up" ||
    exit 77
  KORVANE_PEER_NETNS=/proc/$peer/ns/net KORVANE_PEER_ADDRESS=10.77.0.2 \
    KORVANE_PEER_SERVER=10.77.0.1 "$@"
' peer_namespace "$@"
