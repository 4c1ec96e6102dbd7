// The sync card: the player's role, the followers a leader hears from with
// each one's offset, the leader a follower hears, timecode in and out, and
// OSC, from the status's "sync" section.

const element = (tag, className, text) => Object.assign(document.createElement(tag), { className, textContent: text ?? '' });

function row(list, term, value, state) {
  const dd = element('dd', state ? `sync-${state}` : '', value);
  list.append(element('dt', '', term), dd);
}

const milliseconds = (value) => `${value > 0 ? '+' : ''}${value.toFixed(1)} ms`;

function followerText(follower, t) {
  if (!follower.heard) return t('syncNotHeard');
  const parts = [milliseconds(follower['offset-ms']), follower['in-step'] ? t('syncInStep') : t('syncOutOfStep')];
  parts.push(follower.playing ? t('syncFrame', follower.frame) : t('syncStopped'));
  parts.push(t('syncAgo', follower['seconds-ago']));
  return parts.join(' · ');
}

function addLeader(list, sync, t) {
  if (sync.destinations) row(list, t('syncPacketsSent'), String(sync['packets-sent']));
  for (const follower of sync.followers || []) {
    const state = !follower.heard ? 'unknown' : follower['in-step'] ? 'good' : 'bad';
    row(list, `${t('syncFollower')} ${follower.address}`, followerText(follower, t), state);
  }
}

function addFollower(list, sync, t) {
  if (sync.listen) row(list, t('syncListen'), sync.listen);
  const leader = sync.leader;
  row(list, t('syncLeader'), leader && leader.heard
    ? `${leader.file || t('syncTimecode')} · ${t('syncAgo', leader['seconds-ago'])}` : t('syncNotHeard'));
  if (leader && leader.heard) {
    row(list, t('syncError'), `${sync['error-frames'].toFixed(1)} · ${sync['in-step'] ? t('syncInStep') : t('syncOutOfStep')}`,
      sync['in-step'] ? 'good' : 'bad');
  }
  row(list, t('syncOffset'), milliseconds(sync['offset-ms'] ?? 0));
  if (sync.warning) row(list, t('syncWarning'), sync.warning, 'bad');
}

function addTimecode(list, sync, t) {
  const link = (l) => `${l.source} · ${l.last ?? '–'}`;
  if (sync['timecode-in']) row(list, t('syncTimecodeIn'), link(sync['timecode-in']));
  for (const out of sync['timecode-out'] || []) row(list, t('syncTimecodeOut'), link(out));
}

function addOsc(list, osc, t) {
  if (osc.listen) {
    const from = [t('syncThisMachine'), ...(osc.allowed || [])].join(', ');
    row(list, t('syncOsc'), `${osc.listen} · ${t('syncOscFrom', from)}`);
    row(list, t('syncOscCounts'), t('syncOscCountsText', osc.commands, osc.refused, osc.faults),
      osc.refused || osc.faults ? 'bad' : '');
  }
  if (osc.feedback) row(list, t('syncOscFeedback'), osc.feedback);
}

// The card's contents for the section, in the page's language (t).
export function renderSync(sync, t) {
  const list = element('dl', 'sync');
  row(list, t('syncRole'), t(`syncRole_${sync.role}`));
  if (sync.role === 'leader') addLeader(list, sync, t);
  if (sync.role === 'follower') addFollower(list, sync, t);
  addTimecode(list, sync, t);
  if (sync.osc) addOsc(list, sync.osc, t);
  if (sync['clock-rate']) row(list, t('syncClockRate'), `× ${sync['clock-rate']}`);
  return list;
}
