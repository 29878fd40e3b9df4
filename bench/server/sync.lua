-- SPDX-License-Identifier: MIT
-- wrk script: sync requests as installed copies send them, from a pool of device ids large
-- enough that the per-device rate limit stays out of the way (each id comes back a few times a
-- minute at full speed, about as often as in an hour of real use).
local devices = tonumber(os.getenv("BENCH_DEVICES") or "200000")
local counter = 0

function init(args)
  math.randomseed(os.time() + tonumber(tostring({}):sub(8), 16))
end

request = function()
  counter = counter + 1
  local i = math.random(devices)
  local body = string.format(
    '{"d":"%08X-5E1A-4C0B-9F00-%012X","v":"1.0.%d","os":"debian 12","c":"direct"%s}',
    i, i, i % 3, (i % 10 == 0) and ',"m":1' or "")
  return wrk.format("POST", nil, { ["Content-Type"] = "application/json" }, body)
end
