#!/bin/busybox sh
# First user space of the lab guest: load what mounting the host needs, lay
# a tmpfs overlay over the host's root (read-only over 9p) and hand over to
# the lab's guest init there.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
while read -r module; do
    insmod "$module" || echo "lab: insmod $module failed"
done </load-order
mkdir -p /lower /rw /newroot
opts=trans=virtio,version=9p2000.L,msize=524288
# The host's root does not change under a run: caching it saves round trips.
mount -t 9p -o "$opts,ro,cache=loose" hostroot /lower || { echo "lab: no host root"; poweroff -f; }
mount -t tmpfs -o size=1536m tmpfs /rw
mkdir -p /rw/upper /rw/work
mount -t overlay overlay -o lowerdir=/lower,upperdir=/rw/upper,workdir=/rw/work /newroot ||
    { echo "lab: no overlay"; poweroff -f; }
mkdir -p /newroot/lab-out /newroot/lib/modules
mount -t 9p -o "$opts" labout /newroot/lab-out || { echo "lab: no output folder"; poweroff -f; }
cp -a /lib/modules/. /newroot/lib/modules/
mount --move /dev /newroot/dev
umount /proc /sys
guest_init=$(cat /guest_init)
exec switch_root /newroot /bin/sh "$guest_init"
