"""Runs one lab job in a guest of Debian's own kernel under qemu: the host's
root, read-only over 9p under a tmpfs overlay, is the guest's root, so the
guest runs this machine's programs and build tree unchanged; a writable 9p
folder brings the job's output back. The kernel package is downloaded once
and unpacked into a cache folder, never installed.

Usage: python3 run_lab.py [--timeout S] [--modules M,...] OUTDIR -- COMMAND...

COMMAND runs in the guest as root, from the current directory, with this
process's GST_PLUGIN_PATH and LUMIDART_* variables; its exit status is this
program's. A guest that does not power off in time is killed: exit 1.
"""

import argparse
import fcntl
import os
import shlex
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# Loaded at boot: what mounting the host needs, and the devices scenarios
# use (evdev gives a uinput device the event node a compositor reads). vivid
# is left to the scenarios, which choose its parameters.
BOOT_MODULES = ["virtio_pci", "9pnet_virtio", "9p", "overlay", "uinput", "evdev"]
# Present in the guest for modprobe.
GUEST_MODULES = BOOT_MODULES + ["vivid"]
PASSED_ON = ("GST_PLUGIN_PATH", "GST_DEBUG", "PYTHONPATH")


class LabError(Exception):
    pass


def run(args, **kwargs):
    r = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)
    if r.returncode != 0:
        raise LabError("%s failed:\n%s" % (" ".join(args), r.stdout[-2000:]))
    return r.stdout


def cache_dir():
    base = os.environ.get("LUMIDART_LAB_CACHE") or os.path.join(
        os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "lumidart-lab")
    os.makedirs(base, exist_ok=True)
    return base


def kernel_package():
    """The versioned image package linux-image-amd64 depends on."""
    for line in run(["apt-cache", "depends", "linux-image-amd64"]).splitlines():
        name = line.strip().split(":", 1)
        if name[0] == "Depends" and name[1].strip().startswith("linux-image-"):
            return name[1].strip()
    raise LabError("linux-image-amd64 names no kernel package")


def unpacked_kernel():
    """(tree, version) of the unpacked kernel package, fetched on first use;
    a lock keeps concurrent runs from unpacking it twice."""
    base = cache_dir()
    package = kernel_package()
    version = package[len("linux-image-"):]
    tree = os.path.join(base, package)
    with open(os.path.join(base, "lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(os.path.join(tree, "boot", "vmlinuz-" + version)):
            scratch = tree + ".partial"
            shutil.rmtree(scratch, ignore_errors=True)
            os.makedirs(scratch)
            run(["apt-get", "download", package], cwd=scratch)
            debs = [f for f in os.listdir(scratch) if f.endswith(".deb")]
            if len(debs) != 1:
                raise LabError("apt-get download gave %r" % debs)
            unpacked = os.path.join(scratch, "tree")
            run(["dpkg-deb", "-x", os.path.join(scratch, debs[0]), unpacked])
            run(["depmod", "-b", unpacked, version])
            os.rename(unpacked, tree)
            shutil.rmtree(scratch)
    return tree, version


def module_chain(tree, version, module):
    """The module files that module needs, itself last, in load order."""
    out = run(["modprobe", "-d", tree, "-S", version, "--show-depends", module])
    return [line.split()[1] for line in out.splitlines() if line.startswith("insmod ")]


def build_initramfs(tree, version, workdir):
    root = os.path.join(workdir, "initramfs")
    shutil.rmtree(root, ignore_errors=True)
    for d in ("bin", "dev", "proc", "sys"):
        os.makedirs(os.path.join(root, d))
    shutil.copy(shutil.which("busybox", path="/bin:/usr/bin"), os.path.join(root, "bin", "busybox"))
    shutil.copy(os.path.join(HERE, "initramfs_init.sh"), os.path.join(root, "init"))
    with open(os.path.join(root, "guest_init"), "w") as f:
        f.write(os.path.join(HERE, "guest_init.sh"))
    modules_root = os.path.join(tree, "lib", "modules", version)
    load_order, present = [], []
    for module in GUEST_MODULES:
        for path in module_chain(tree, version, module):
            if path not in present:
                present.append(path)
            if module in BOOT_MODULES and path not in load_order:
                load_order.append(path)
    for path in present:
        target = os.path.join(root, os.path.relpath(path, tree))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy(path, target)
    for name in ("modules.builtin", "modules.builtin.modinfo", "modules.order"):
        shutil.copy(os.path.join(modules_root, name), os.path.join(root, "lib", "modules", version))
    run(["depmod", "-b", root, version])
    with open(os.path.join(root, "load-order"), "w") as f:
        f.writelines("/" + os.path.relpath(p, tree) + "\n" for p in load_order)
    os.chmod(os.path.join(root, "init"), 0o755)
    image = os.path.join(workdir, "initramfs.cpio")
    names = run(["find", "."], cwd=root)
    with open(image, "wb") as f:
        subprocess.run(["cpio", "-o", "-H", "newc", "--quiet"], cwd=root, input=names.encode(), stdout=f,
                       check=True)
    shutil.rmtree(root)
    return image


def prepare_registry(outdir):
    """A GStreamer registry of this machine's plugins and the job's plugin
    path, made at host speed for the guest to copy."""
    env = dict(os.environ, GST_REGISTRY=os.path.join(outdir, "gst-registry.bin"))
    subprocess.run(["gst-inspect-1.0", "v4l2src"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=300)


def write_job(outdir, command):
    lines = ["export %s=%s\n" % (k, shlex.quote(os.environ[k])) for k in PASSED_ON if k in os.environ]
    lines += ["export %s=%s\n" % (k, shlex.quote(v)) for k, v in os.environ.items() if k.startswith("LUMIDART_")]
    lines.append("LAB_COMMAND=%s\n" % shlex.quote("cd %s && exec %s" % (
        shlex.quote(os.getcwd()), " ".join(shlex.quote(a) for a in command))))
    with open(os.path.join(outdir, "job.sh"), "w") as f:
        f.writelines(lines)


def boot(tree, version, initramfs, outdir, timeout):
    console = os.path.join(outdir, "console.log")
    args = ["qemu-system-x86_64", "-accel", "tcg,thread=multi", "-cpu", "max,-smap", "-smp", "2", "-m", "2560",
            "-nodefaults", "-no-reboot", "-display", "none", "-monitor", "none", "-serial", "file:" + console,
            "-kernel", os.path.join(tree, "boot", "vmlinuz-" + version), "-initrd", initramfs,
            "-append", "console=ttyS0 panic=-1 quiet loglevel=4",
            "-virtfs", "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap",
            "-virtfs", "local,path=%s,mount_tag=labout,security_model=none,multidevs=remap" % outdir]
    qemu = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=open(os.path.join(outdir, "qemu.log"), "w"))
    try:
        qemu.wait(timeout)
    except subprocess.TimeoutExpired:
        qemu.kill()
        qemu.wait()
        raise LabError("the guest did not power off within %d s; its console ends:\n%s" % (
            timeout, tail(console)))


def tail(path, size=6000):
    try:
        with open(path, errors="replace") as f:
            return f.read()[-size:]
    except OSError:
        return "(none)"


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--timeout", type=int, default=600)
    parser.add_argument("outdir")
    parser.add_argument("command", nargs="+")
    options = parser.parse_args()
    outdir = os.path.abspath(options.outdir)
    shutil.rmtree(outdir, ignore_errors=True)
    os.makedirs(outdir)
    started = time.monotonic()
    try:
        tree, version = unpacked_kernel()
        initramfs = build_initramfs(tree, version, outdir)
        prepare_registry(outdir)
        write_job(outdir, options.command)
        prepared = time.monotonic()
        boot(tree, version, initramfs, outdir, options.timeout)
    except LabError as error:
        print("FAIL lab: %s" % error, flush=True)
        return 1
    print(tail(os.path.join(outdir, "guest.log"), 200000), end="", flush=True)
    print("lab: kernel %s, preparing %.0f s, guest %.0f s" % (
        version, prepared - started, time.monotonic() - prepared), flush=True)
    try:
        with open(os.path.join(outdir, "status")) as f:
            return int(f.read().strip() or 1)
    except (OSError, ValueError):
        print("FAIL lab: the job left no exit status; the console ends:\n" + tail(
            os.path.join(outdir, "console.log")), flush=True)
        return 1


if __name__ == "__main__":
    sys.exit(main())
