# The demo plant's field devices: jumo-sim with the two JUMO controllers and v120-sim with the
# V-120, each on a pseudo-terminal of its own. Addresses and value kinds follow
# sql/demo-plan.sql; the values are those of a dense-medium circuit at work.
# Sourced by scripts/demo; ROOT is the source tree, BUILD the build folder.

# JUMO 1 and JUMO 2. The plan reads floats with InverseBytes=1 and InverseWords=1: low word
# first, high byte first, which is CDAB. Raw density is the transmitter's 0..100 % span of
# 1.0..2.0 g/cm3, so 50 % is 1.50 g/cm3; levels are per cent.
demo_jumo_config() {
  cat <<'EOF'
# JUMO 1: density and level of circuit 1, setpoint register of the density
slave 1
float 53 51.0 order=CDAB drift=3.5     # PLS:  1.51 g/cm3, swings 1.475..1.545
float 71 63.0 order=CDAB drift=6       # TNK1: about 62 %
float 8  1.5  order=CDAB               # _PLSZ, written by the service
# JUMO 2: circuit 2, setpoint register of the level
slave 2
float 53 47.5 order=CDAB drift=4       # PLS2: 1.475 g/cm3, swings 1.435..1.515
float 71 55.0 order=CDAB drift=8       # TNK2: about 53 %
float 8  60   order=CDAB               # _URNSZ, written by the service
EOF
}

# The V-120: the integral counter (G_1T1, ten pulses a tonne; the service scales increments
# by 0.01), a drive speed on an analog input (0..4000 counts = 0..100 %) and a bunker contact.
demo_v120_config() {
  cat <<'EOF'
unit 1
1 totaliser 52 1250000 rate=40         # G_1T1: counts up, about 2.4 t a minute
1 word 111 2480                        # V1: drive speed 62 %
1 bit 10 1                             # BKK3: bunker contact closed
EOF
}

# Waits up to 5 s until LINK is a symlink to an existing device; false when PID ended first.
demo_wait_link() {  # LINK PID
  for _ in $(seq 1 50); do
    [ -L "$1" ] && [ -e "$1" ] && return 0
    demo_alive "$2" || return 1
    sleep 0.1
  done
  return 1
}

# Starts both simulators in DIR at the given V-120 line speed. Sets JUMO_PID, V120_PID,
# JUMO_LINK, V120_LINK.
demo_devices_start() {  # DIR V120_SPEED
  local dir=$1 v120_speed=$2
  demo_jumo_config >"$dir/jumo-sim.conf"
  demo_v120_config >"$dir/v120-sim.conf"
  JUMO_LINK=$dir/jumo
  V120_LINK=$dir/v120

  # Own sessions, SIGINT and SIGTERM at their defaults: stopped by the demo, by pid.
  # Its log has one line per request; the demo reads the setpoint writes from it.
  setsid env --default-signal=INT,TERM "$BUILD/tools/jumo-sim" --config "$dir/jumo-sim.conf" \
    --pty "$JUMO_LINK" --log "$dir/jumo-sim.log" </dev/null >"$dir/jumo-sim.out" 2>&1 &
  JUMO_PID=$!
  demo_track "jumo-sim" "$JUMO_PID"
  demo_wait_link "$JUMO_LINK" "$JUMO_PID" || {
    cat "$dir/jumo-sim.out" >&2; echo "demo: jumo-sim published no $JUMO_LINK" >&2; return 1; }

  setsid env --default-signal=INT,TERM "$BUILD/tools/v120-sim" --config "$dir/v120-sim.conf" \
    --link "$V120_LINK" --speed "$v120_speed" </dev/null >"$dir/v120-sim.out" 2>&1 &
  V120_PID=$!
  demo_track "v120-sim" "$V120_PID"
  demo_wait_link "$V120_LINK" "$V120_PID" || {
    cat "$dir/v120-sim.out" >&2; echo "demo: v120-sim published no $V120_LINK" >&2; return 1; }
}
