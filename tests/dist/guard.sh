# Sourced by the tests here: the program polls 192.168.1.1 until it has a
# profile, so it may only run where no datagram can leave the machine.
only_loopback() {
  [ -z "$(tail -n +2 /proc/net/route)" ] || return 1
  [ "$(ip -o link show | awk -F': ' '{print $2}' | grep -vx lo | wc -l)" -eq 0 ] || return 1
}
if ! only_loopback; then
  echo "refusing to run: this network namespace reaches beyond loopback (run inside unshare -n)" >&2
  exit 1
fi
