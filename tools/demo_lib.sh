# What the demos share, sourced after they set `root`: what they install, and the
# private network namespace they run in.

# demo_install NAME PACKAGE...: installs the packages that are missing (an :i386
# one with the i386 architecture).
demo_install() {
    local name=$1 missing
    shift
    missing=$(for p in "$@"; do dpkg -s "$p" >/dev/null 2>&1 || echo "$p"; done)
    [ -n "$missing" ] || return 0
    echo "$name: installing" $missing
    export DEBIAN_FRONTEND=noninteractive
    case " $missing " in *:i386" "*) dpkg --add-architecture i386 ;; esac
    apt-get update -q && apt-get install -y -q --no-install-recommends $missing
}

# The Russian messages, as a Russian subscriber sees them.
demo_locale() {
    locale -a | grep -qx 'ru_RU.utf8' || localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
}

# Inside the namespace: loopback up and only the test CA trusted.
demo_trust_test_ca() {
    ip link set lo up
    mount --bind "$root/build/testca/trusted-bundle.pem" /etc/ssl/certs/ca-certificates.crt
}

# One home-network interface for the tooltip to show (a veth pair; nothing answers on it).
demo_home_network() {
    ip link add demo0 type veth peer name demo1
    ip addr add 192.168.1.23/24 dev demo0
    ip link set demo1 up
    ip link set demo0 up
}
