"""End-to-end tests of both programs on private Xvfb displays.

Run a driver as a module from the tests folder, for instance
`python3 -m e2e.x11.depths_e2e build/linux/lumidart`."""
