// status_page.cpp -- the status page the side port serves at "/": plain HTML, CSS and
// JavaScript that draw the server's name, its players and a minimap from /status.json.
#include "http.h"

const char* const STATUS_PAGE_HTML = R"HTML(<!DOCTYPE html>
<html lang="zh-Hant">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>伺服器狀態</title>
<style>
  body { font-family: sans-serif; background: #f4f1ea; color: #222; margin: 0; padding: 1.5em; }
  main { max-width: 56em; margin: auto; display: flex; flex-wrap: wrap; gap: 1.5em; }
  h1 { width: 100%; margin: 0; font-size: 1.6em; }
  section { background: #fff; border: 1px solid #d8d2c4; border-radius: 6px; padding: 1em 1.2em; }
  h2 { font-size: 1.1em; margin: 0 0 .6em; }
  dl { display: grid; grid-template-columns: auto auto; gap: .3em 1em; margin: 0; }
  dt { color: #666; }
  dd { margin: 0; }
  ul { margin: 0; padding-left: 1.2em; min-width: 10em; }
  canvas { image-rendering: pixelated; border: 1px solid #aaa; background: #444; }
  #error { color: #a00; width: 100%; }
</style>
</head>
<body>
<main>
  <h1 id="name">伺服器狀態</h1>
  <section>
    <h2>概況</h2>
    <dl>
      <dt>線上玩家</dt><dd id="count">—</dd>
      <dt>運行時間</dt><dd id="uptime">—</dd>
      <dt>版本</dt><dd id="version">—</dd>
      <dt>開放註冊</dt><dd id="registration">—</dd>
      <dt>地圖大小</dt><dd id="size">—</dd>
    </dl>
  </section>
  <section>
    <h2>線上玩家</h2>
    <ul id="players"></ul>
  </section>
  <section>
    <h2>小地圖</h2>
    <canvas id="minimap" width="1" height="1" data-dots="0"></canvas>
  </section>
  <p id="error"></p>
</main>
<script>
"use strict";
function uptimeText(seconds) {
  const d = Math.floor(seconds / 86400), h = Math.floor(seconds % 86400 / 3600), m = Math.floor(seconds % 3600 / 60);
  return (d > 0 ? d + " 天 " : "") + h + " 小時 " + m + " 分";
}
function drawMap(status) {
  const canvas = document.getElementById("minimap");
  const w = status.map.width, h = status.map.height;
  const scale = Math.max(1, Math.floor(360 / Math.max(w, h, 1)));
  canvas.width = w * scale;
  canvas.height = h * scale;
  const g = canvas.getContext("2d");
  g.fillStyle = "#444";
  g.fillRect(0, 0, canvas.width, canvas.height);
  g.fillStyle = "#cfe3b4";
  status.map.walkable.forEach((row, y) => {
    for (let x = 0; x < row.length; ++x) if (row[x] === ".") g.fillRect(x * scale, y * scale, scale, scale);
  });
  g.fillStyle = "#d0202a";
  g.strokeStyle = "#fff";
  g.lineWidth = 1.5;
  const radius = Math.max(4, scale * 1.5);
  for (const p of status.players) {
    g.beginPath();
    g.arc((p.x + 0.5) * scale, (p.y + 0.5) * scale, radius, 0, 2 * Math.PI);
    g.fill();
    g.stroke();
  }
  canvas.dataset.dots = String(status.players.length);
}
function show(status) {
  document.title = status.name + " · 伺服器狀態";
  document.getElementById("name").textContent = status.name;
  document.getElementById("count").textContent = status.players.length;
  document.getElementById("uptime").textContent = uptimeText(status.uptime_seconds);
  document.getElementById("version").textContent = status.version;
  document.getElementById("registration").textContent = status.registration_open ? "開放" : "關閉";
  document.getElementById("size").textContent = status.map.width + " × " + status.map.height;
  const list = document.getElementById("players");
  list.replaceChildren();
  for (const p of status.players) {
    const item = document.createElement("li");
    item.className = "player";
    item.textContent = p.name + "（" + p.x + ", " + p.y + "）";
    list.appendChild(item);
  }
  if (status.players.length === 0) list.textContent = "目前沒有玩家";
  drawMap(status);
  document.getElementById("error").textContent = "";
}
async function refresh() {
  try {
    const response = await fetch("status.json", {cache: "no-store"});
    if (!response.ok) throw new Error(response.status);
    show(await response.json());
  } catch (e) {
    document.getElementById("error").textContent = "無法取得狀態：" + e.message;
  }
  setTimeout(refresh, 5000);
}
refresh();
</script>
</body>
</html>
)HTML";
