"""What every end-to-end driver shares: checks and waiting, the console's
look and settings file, where the cursor should land, the X displays and
the sessions of each program. Standard library only."""
