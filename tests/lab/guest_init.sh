#!/bin/sh
# PID 1 of the lab guest on the host's root under a tmpfs overlay: mounts
# what programs expect, runs the job the host left in /lab-out and powers
# off. Its output goes to the serial console and to /lab-out/guest.log.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/root LANG=C.UTF-8
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mkdir -p /dev/shm /dev/pts
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs -o mode=755 tmpfs /run
# /tmp stays the host's, under the overlay: the build under test may live
# there. The host's X servers do not, so their sockets and locks go.
rm -rf /tmp/.X11-unix /tmp/.X*-lock
mkdir -p /run/user/0 && chmod 700 /run/user/0
export XDG_RUNTIME_DIR=/run/user/0
ip link set lo up 2>/dev/null
hostname lab
# A plugin scan of the whole GStreamer install takes minutes at guest speed.
if [ -f /lab-out/gst-registry.bin ]; then
    cp /lab-out/gst-registry.bin /tmp/gst-registry.bin
fi
export GST_REGISTRY=/tmp/gst-registry.bin
. /lab-out/job.sh
{ sh -c "$LAB_COMMAND" </dev/null; echo $? >/lab-out/status; } 2>&1 | tee /lab-out/guest.log
sync
echo o >/proc/sysrq-trigger
busybox poweroff -f
