#!/bin/sh
# Runs a program that checks logins against this machine's users (danted's "username" method) with one
# user more, seen by that program alone: copies of /etc/passwd and /etc/shadow holding the user are
# bound over the real ones inside a mount namespace of its own, so the system's files are never
# written and nothing is left behind when the program ends. Needs root (as the tests run on CI). The
# user's home is DIR/home, for what the caller puts there (an SSH server's authorized_keys).
#   with-login-user.sh DIR USER PASSWORD PROGRAM [ARG...]
set -eu
dir=$1
user=$2
password=$3
shift 3
if getent passwd "$user" >/dev/null; then
    echo "with-login-user: $user is a user of this machine already" >&2
    exit 1
fi
hash=$(printf '%s' "$password" | openssl passwd -6 -stdin)
umask 077
cp /etc/passwd "$dir/passwd"
printf '%s:x:64999:65534:SOCKS login of the tests:%s/home:/bin/sh\n' "$user" "$dir" >>"$dir/passwd"
chmod 644 "$dir/passwd"
cp /etc/shadow "$dir/shadow"
printf '%s:%s:19000:0:99999:7:::\n' "$user" "$hash" >>"$dir/shadow"
# The program's PID is this script's: unshare and sh each give their place to the next.
exec unshare --mount --propagation private sh -c \
    'mount --bind "$1/passwd" /etc/passwd && mount --bind "$1/shadow" /etc/shadow && shift && exec "$@"' \
    sh "$dir" "$@"
