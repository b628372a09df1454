// placeholder until xpexec arrives
