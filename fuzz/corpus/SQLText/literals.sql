insert into t (a, b) values (:0, ':1''s', q'{:2}') -- :3
/* :4 */ returning :varID